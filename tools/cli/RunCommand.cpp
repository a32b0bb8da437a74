// run: a document script. One command per line drives the document through
// the console host; blank lines and lines starting with "#" are skipped.
// Log lines go to standard output as written, the tool's own lines start "# ".
//   answer yes|no|cancel|ok     the next box's answer
//   open PATH | new | save | save-as [PATH]
//   slice SIZE [ROTATING [ZOOM]] | place X Y W H | place-rotated X Y W H ANGLE
//   move X Y | centre X Y | angle A | lock | cancel-lock
//   folder [PATH] | export | auto-clipboard | open-slice-folder | state
//   import PATH | quick-import FOLDER | find-recent ROOT
//   tool brush|eraser | brush SIZE SOFTNESS OPACITY | paint X Y [X Y ...]
//   fill V | fill-opacity | invert | edge-blur N | match-colours on|off
//   apply | cancel-merge
//   shadow [PATH] | shadow-copy | shadow-remove | export-small 512|1024
//   show-frame | write-preview PATH
//   undo | redo | recover | write-main PATH | wait
//   fail-alloc N                the pixel allocation after N more fails (once)
//   kill-during-compaction      SIGKILL between writing a compacted journal and renaming it
//   sd-server URL [webui|comfyui] | sd-set KEY VALUE | send [IMG2IMG-FOLDER]
//   export-grid SIZE OVERLAP [X Y W H] | import-batch PATH...
// ("wait" blocks until a line or the end arrives on standard input: a script
// given as FILE can be held there, for instance to be killed.)
#include <csignal>
#include <cstdio>

#include "tools/cli/Commands.h"

#ifndef QUILTOR_HAS_DOCUMENT
int CmdRun(const Args&) {
  std::fputs("error: run needs the document layer (built without it)\n", stderr);
  return 1;
}
#else
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <vector>

#include "document/QuickImport.h"
#include "document/QuiltorDoc.h"
#include "tools/cli/CampaignCommands.h"
#include "tools/cli/ConsoleHost.h"
#include "tools/cli/SdCommands.h"

namespace {

// A refused line: the message goes out as "# error: line N: ...".
struct LineError {
  QString message;
};

class CScript {
 public:
  CScript() : m_doc(m_host, m_services) {}

  // Runs every line; true when none was in error.
  bool Run(QTextStream& input) {
    bool clean = true;
    int number = 0;
    while (!input.atEnd()) {
      const QString line = input.readLine();
      ++number;
      const QString trimmed = line.trimmed();
      if (trimmed.isEmpty() || trimmed.startsWith(u'#')) continue;
      try {
        Execute(trimmed);
      } catch (const LineError& e) {
        CConsoleHost::Note(QStringLiteral("error: line %1: %2").arg(number).arg(e.message));
        clean = false;
      }
      std::fflush(stdout);
    }
    return clean;
  }

 private:
  using Handler = std::function<void(const QString& rest, const QStringList& words)>;

  void Execute(const QString& line) {
    const qsizetype space = line.indexOf(QRegularExpression(QStringLiteral("\\s")));
    const QString command = space < 0 ? line : line.left(space);
    const QString rest = space < 0 ? QString() : line.mid(space + 1).trimmed();
    const QStringList words =
        rest.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    const auto& table = Commands();
    auto it = table.find(command);
    if (it == table.end()) throw LineError{QStringLiteral("unknown command: ") + command};
    it->second(rest, words);
  }

  static int Int(const QString& word) {
    bool ok = false;
    const int value = word.toInt(&ok);
    if (!ok) throw LineError{QStringLiteral("not a whole number: ") + word};
    return value;
  }
  // All words as numbers, read left to right so the first bad one is named.
  static std::vector<int> Ints(const QStringList& words) {
    std::vector<int> values;
    for (const QString& w : words) values.push_back(Int(w));
    return values;
  }
  static int IntIn(const QString& word, int low, int high) {
    const int value = Int(word);
    if (value < low || value > high)
      throw LineError{QStringLiteral("%1 is outside %2 to %3").arg(word).arg(low).arg(high)};
    return value;
  }
  static void Count(const QStringList& words, qsizetype low, qsizetype high) {
    if (words.size() < low || words.size() > high)
      throw LineError{QStringLiteral("wrong number of arguments")};
  }
  static void NeedPath(const QString& rest) {
    if (rest.isEmpty()) throw LineError{QStringLiteral("a path is needed")};
  }

  QString Mode() const {
    if (!m_doc.m_mainImage.HasPixels()) return QStringLiteral("Empty");
    if (m_doc.m_merge)
      return m_doc.m_locked ? QStringLiteral("Merging") : QStringLiteral("Merging-unlocked");
    return m_doc.m_locked ? QStringLiteral("Locked") : QStringLiteral("Free");
  }

  void PrintState() const {
    const CQuiltorDoc& d = m_doc;
    const QString shadow =
        d.m_shadowImage.HasPixels()
            ? QStringLiteral("%1x%2").arg(d.m_shadowImage.m_width).arg(d.m_shadowImage.m_height)
            : QStringLiteral("none");
    CConsoleHost::Note(
        QStringLiteral("state: mode=%1 slice=%2,%3,%4,%5 rotating=%6 angle=%7 zoom=%8 counter=%9")
            .arg(Mode())
            .arg(d.m_sliceX)
            .arg(d.m_sliceY)
            .arg(d.m_sliceWidth)
            .arg(d.m_sliceHeight)
            .arg(d.m_rotating)
            .arg(d.m_angle)
            .arg(d.m_zoom)
            .arg(d.m_sliceCounter) +
        QStringLiteral(" folder=%1 modified=%2 merge=%3 locked=%4 shadow=%5")
            .arg(d.m_sliceFolder)
            .arg(d.IsModified() ? 1 : 0)
            .arg(d.m_merge)
            .arg(d.m_locked)
            .arg(shadow));
  }

  // File > Open: the framework's open, then the dialog's folder remembered
  // whether or not the file could be read.
  void Open(const QString& path) {
    m_doc.FileOpen(path);
    const qsizetype slash = path.lastIndexOf(u'/');
    WriteSetting(m_services.settings, Settings::kOpenFolder,
                 slash < 0 ? path : path.left(slash == 0 ? 1 : slash));
  }

  void Paint(const QStringList& words) {
    if (words.isEmpty() || words.size() % 2 != 0)
      throw LineError{QStringLiteral("paint needs pairs of X Y")};
    const std::vector<int> points = Ints(words);
    m_doc.m_brushPreview = 0;
    for (size_t i = 0; i < points.size(); i += 2)
      m_doc.PaintMask(points[i], points[i + 1], i == 0 ? 0 : 1);
    // The release: one stroke, one undo step.
    m_doc.EndMaskStroke();
    m_doc.UpdateMaskPreview();
  }

  void Brush(const QStringList& words) {
    Count(words, 3, 3);
    // The ranges of the Merger's brush sliders.
    const int size = IntIn(words[0], 0, 255);
    bool ok = false;
    const double softness = words[1].toDouble(&ok);
    if (!ok || !std::isfinite(softness) || softness < 0 || softness > 60)
      throw LineError{QStringLiteral("softness must be a number from 0 to 60: ") + words[1]};
    const int opacity = IntIn(words[2], 0, 100);
    m_doc.m_brush.m_brushSize = size;
    m_doc.m_brush.m_softness = softness;
    m_doc.m_brush.m_opacity = opacity;
    // As a brush slider's release: the stamp is rebuilt and the preview circle goes.
    m_doc.m_brushPreview = 0;
    m_doc.m_brush.Build();
    m_host.Repaint();
  }

  void WritePreview(const QString& path) {
    CISImageEx* preview = m_host.MaskPreviewImage();
    if (!preview->HasPixels()) throw LineError{QStringLiteral("the mask preview is empty")};
    if (preview->SaveFile(QFile::encodeName(path).toStdString(), kFilePNG) != kISOk)
      throw LineError{QStringLiteral("can't write ") + path};
  }

  // The main image as it is, without saving (the document stays modified).
  void WriteMain(const QString& path) {
    if (!m_doc.m_mainImage.HasPixels()) throw LineError{QStringLiteral("there is no main image")};
    if (m_doc.m_mainImage.SaveFile(QFile::encodeName(path).toStdString(), kFilePNG) != kISOk)
      throw LineError{QStringLiteral("can't write ") + path};
  }

  const std::map<QString, Handler>& Commands() {
    if (!m_commands.empty()) return m_commands;
    using A = IDocumentHost::Answer;
    auto& c = m_commands;
    c[QStringLiteral("answer")] = [this](const QString&, const QStringList& w) {
      Count(w, 1, 1);
      static const std::map<QString, A> names = {{QStringLiteral("yes"), A::Yes},
                                                 {QStringLiteral("no"), A::No},
                                                 {QStringLiteral("cancel"), A::Cancel},
                                                 {QStringLiteral("ok"), A::Ok}};
      auto it = names.find(w[0].toLower());
      if (it == names.end()) throw LineError{QStringLiteral("answer yes, no, cancel or ok")};
      m_host.m_answers.push_back(it->second);
    };
    c[QStringLiteral("open")] = [this](const QString& r, const QStringList&) {
      NeedPath(r);
      Open(r);
    };
    c[QStringLiteral("new")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      m_doc.FileNew();
    };
    c[QStringLiteral("save")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      m_doc.FileSave();
    };
    c[QStringLiteral("save-as")] = [this](const QString& r, const QStringList&) {
      m_host.m_nextSavePath = r;
      m_doc.FileSaveAs();
      m_host.m_nextSavePath.clear();
    };
    c[QStringLiteral("slice")] = [this](const QString&, const QStringList& w) {
      Count(w, 1, 3);
      const int size = IntIn(w[0], 1, 65536);
      const int rotating = w.size() > 1 ? IntIn(w[1], 0, 1) : 0;
      const int zoom = w.size() > 2 ? Int(w[2]) : 1;
      if (zoom != 1 && zoom != 2 && zoom != 4)
        throw LineError{QStringLiteral("zoom must be 1, 2 or 4")};
      m_doc.CreateSlice(size, rotating, zoom);
    };
    c[QStringLiteral("place")] = [this](const QString&, const QStringList& w) {
      Count(w, 4, 4);
      const auto v = Ints(w);
      m_doc.PlaceSlice(v[0], v[1], v[2], v[3]);
    };
    c[QStringLiteral("place-rotated")] = [this](const QString&, const QStringList& w) {
      Count(w, 5, 5);
      const auto v = Ints(w);
      m_doc.PlaceRotatedSlice(v[0], v[1], v[2], v[3], v[4]);
    };
    c[QStringLiteral("move")] = [this](const QString&, const QStringList& w) {
      Count(w, 2, 2);
      const auto v = Ints(w);
      m_doc.MoveSlice(v[0], v[1]);
    };
    c[QStringLiteral("centre")] = [this](const QString&, const QStringList& w) {
      Count(w, 2, 2);
      const auto v = Ints(w);
      m_doc.CentreSliceAt(v[0], v[1]);
    };
    c[QStringLiteral("angle")] = [this](const QString&, const QStringList& w) {
      Count(w, 1, 1);
      m_doc.SetSliceAngle(Int(w[0]));
    };
    c[QStringLiteral("lock")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      m_doc.LockSlice();
    };
    c[QStringLiteral("cancel-lock")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      m_doc.CancelLock();
    };
    c[QStringLiteral("folder")] = [this](const QString& r, const QStringList&) {
      m_doc.m_sliceFolder = r;
    };
    c[QStringLiteral("export")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      const QString name = m_doc.ExportAndLock();
      if (!name.isEmpty()) CConsoleHost::Note(QStringLiteral("history: ") + name);
    };
    c[QStringLiteral("auto-clipboard")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      m_doc.ToggleAutoSendToClipboard();
    };
    c[QStringLiteral("open-slice-folder")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      m_doc.OpenSliceFolder();
    };
    c[QStringLiteral("state")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      PrintState();
    };
    c[QStringLiteral("import")] = [this](const QString& r, const QStringList&) {
      NeedPath(r);
      m_doc.ImportFile(r);
    };
    c[QStringLiteral("quick-import")] = [this](const QString& r, const QStringList&) {
      QuickImport(m_doc, m_services.settings, r);
    };
    c[QStringLiteral("find-recent")] = [this](const QString& r, const QStringList&) {
      const QString folder = FindMostRecentSubfolder(m_services.settings, r);
      if (!folder.isEmpty()) CConsoleHost::Note(QStringLiteral("img2img: ") + folder);
    };
    c[QStringLiteral("tool")] = [this](const QString&, const QStringList& w) {
      Count(w, 1, 1);
      if (w[0] == u"brush")
        m_doc.m_tool = 1;
      else if (w[0] == u"eraser")
        m_doc.m_tool = 0;
      else
        throw LineError{QStringLiteral("tool brush or eraser")};
    };
    c[QStringLiteral("brush")] = [this](const QString&, const QStringList& w) { Brush(w); };
    c[QStringLiteral("paint")] = [this](const QString&, const QStringList& w) { Paint(w); };
    c[QStringLiteral("fill")] = [this](const QString&, const QStringList& w) {
      Count(w, 1, 1);
      m_doc.FillMask(IntIn(w[0], 0, 255));
    };
    c[QStringLiteral("fill-opacity")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      const int v = static_cast<int>(m_doc.m_brush.m_opacity * 255.0 / 100 + 0.5);
      m_doc.FillMask(std::clamp(v, 0, 255));
    };
    c[QStringLiteral("invert")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      m_doc.InvertMask();
    };
    c[QStringLiteral("edge-blur")] = [this](const QString&, const QStringList& w) {
      Count(w, 1, 1);
      m_services.edgeBlur = IntIn(w[0], 0, 128);
      m_doc.RefreshMerge();
      m_doc.UpdateMaskPreview();
    };
    c[QStringLiteral("match-colours")] = [this](const QString&, const QStringList& w) {
      Count(w, 1, 1);
      if (w[0] != u"on" && w[0] != u"off")
        throw LineError{QStringLiteral("match-colours on or off")};
      // As the Merger's check box: a merge under way is rebuilt at once.
      m_doc.SetMatchColours(w[0] == u"on");
    };
    c[QStringLiteral("apply")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      m_doc.ApplyMerge();
    };
    c[QStringLiteral("cancel-merge")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      m_doc.CancelMerge();
    };
    c[QStringLiteral("shadow")] = [this](const QString& r, const QStringList&) {
      m_host.m_nextOpenPath = r;
      m_doc.OpenShadowImage();
      m_host.m_nextOpenPath.clear();
    };
    c[QStringLiteral("shadow-copy")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      m_doc.CopyMainToShadow();
    };
    c[QStringLiteral("shadow-remove")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      m_doc.RemoveShadowImage();
    };
    c[QStringLiteral("export-small")] = [this](const QString&, const QStringList& w) {
      Count(w, 1, 1);
      const int size = Int(w[0]);
      if (size != 512 && size != 1024) throw LineError{QStringLiteral("export-small 512 or 1024")};
      m_doc.ExportSmall(size);
    };
    c[QStringLiteral("show-frame")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      m_doc.ToggleShowFrame();
    };
    c[QStringLiteral("write-preview")] = [this](const QString& r, const QStringList&) {
      NeedPath(r);
      WritePreview(r);
    };
    c[QStringLiteral("undo")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      if (!m_doc.CanUndo()) CConsoleHost::Note(QStringLiteral("nothing to undo"));
      m_doc.Undo();
    };
    c[QStringLiteral("redo")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      if (!m_doc.CanRedo()) CConsoleHost::Note(QStringLiteral("nothing to redo"));
      m_doc.Redo();
    };
    c[QStringLiteral("recover")] = [this](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      if (!m_doc.OfferRecovery()) CConsoleHost::Note(QStringLiteral("nothing recovered"));
    };
    c[QStringLiteral("write-main")] = [this](const QString& r, const QStringList&) {
      NeedPath(r);
      WriteMain(r);
    };
    // Of the pixel allocations to come, the one after N successful ones fails.
    c[QStringLiteral("fail-alloc")] = [](const QString&, const QStringList& w) {
      Count(w, 1, 1);
      qimg::FailAllocationAfter(IntIn(w[0], 0, 1 << 20));
    };
    // The program dies as by a power cut while it compacts its journal.
    c[QStringLiteral("kill-during-compaction")] = [](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      CRecoveryJournal::SetCompactionHook([] { ::raise(SIGKILL); });
    };
    // Stable Diffusion: send exports and locks first, as the Slicer's button.
    auto check = [](const QString& error) {
      if (!error.isEmpty()) throw LineError{error};
    };
    c[QStringLiteral("sd-server")] = [this, check](const QString&, const QStringList& w) {
      check(SdServer(m_services.settings, w));
    };
    c[QStringLiteral("sd-set")] = [this, check](const QString& r, const QStringList&) {
      check(SdSet(m_services.settings, r));
    };
    c[QStringLiteral("send")] = [this](const QString& r, const QStringList&) {
      const QString name = m_doc.ExportAndLock();
      if (name.isEmpty()) return;
      CConsoleHost::Note(QStringLiteral("history: ") + name);
      SdSendAndWait(m_doc, m_services.settings, name, r);
    };
    c[QStringLiteral("export-grid")] = [this, check](const QString&, const QStringList& w) {
      check(ExportGridLine(m_doc, w));
    };
    c[QStringLiteral("import-batch")] = [this, check](const QString&, const QStringList& w) {
      check(ImportBatchLine(m_doc, w));
    };
    c[QStringLiteral("wait")] = [](const QString&, const QStringList& w) {
      Count(w, 0, 0);
      CConsoleHost::Note(QStringLiteral("waiting"));
      std::fflush(stdout);
      char line[256];
      if (!std::fgets(line, sizeof line, stdin)) std::clearerr(stdin);
    };
    return m_commands;
  }

  CConsoleHost m_host;
  CQuiltorServices m_services;
  CQuiltorDoc m_doc;
  std::map<QString, Handler> m_commands;
};

}  // namespace

int CmdRun(const Args& args) {
  if (args.size() > 1) {
    std::fputs("usage: quiltor-cli run [FILE]\n", stderr);
    return 2;
  }
  QFile file;
  if (args.empty()) {
    if (!file.open(stdin, QIODevice::ReadOnly | QIODevice::Text)) return 2;
  } else {
    file.setFileName(QFile::decodeName(args[0].c_str()));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
      CConsoleHost::Note(QStringLiteral("error: can't read script: ") + file.fileName());
      return 2;
    }
  }
  QTextStream input(&file);
  CScript script;
  const bool clean = script.Run(input);
  std::fflush(stdout);
  return clean ? 0 : 1;
}
#endif
