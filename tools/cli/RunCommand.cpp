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
#include <map>
#include <vector>

#include "document/MergeLimits.h"
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

// What follows a line's command: the rest as written, and its words.
struct Line {
  QString rest;
  QStringList words;
};

class CScript {
 public:
  CScript() : m_doc(m_host, m_services) {}
  void ShowProgress() { m_host.m_showProgress = true; }

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
  // How many words a command takes; kFree: the handler reads the rest of the
  // line or checks the words itself.
  struct Arity {
    qsizetype low, high;
  };
  static constexpr Arity kNone{0, 0}, kOne{1, 1}, kFree{-1, -1};
  struct Command {
    const char* name;
    Arity arguments;
    void (*handler)(CScript& script, const Line& line);
  };
  static const Command kCommands[];

  void Execute(const QString& text);

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
  static int IntIn(const QString& word, const ValueLimits<int>& limits) {
    return IntIn(word, limits.low, limits.high);
  }
  static void Count(const QStringList& words, qsizetype low, qsizetype high) {
    if (words.size() < low || words.size() > high)
      throw LineError{QStringLiteral("wrong number of arguments")};
  }
  static void NeedPath(const QString& rest) {
    if (rest.isEmpty()) throw LineError{QStringLiteral("a path is needed")};
  }
  static void Check(const QString& error) {
    if (!error.isEmpty()) throw LineError{error};
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

  void Answer(const QString& word) {
    using A = IDocumentHost::Answer;
    static const std::map<QString, A> names = {{QStringLiteral("yes"), A::Yes},
                                               {QStringLiteral("no"), A::No},
                                               {QStringLiteral("cancel"), A::Cancel},
                                               {QStringLiteral("ok"), A::Ok}};
    auto it = names.find(word.toLower());
    if (it == names.end()) throw LineError{QStringLiteral("answer yes, no, cancel or ok")};
    m_host.m_answers.push_back(it->second);
  }

  // File > Open: the framework's open, then the dialog's folder remembered
  // whether or not the file could be read.
  void Open(const QString& path) {
    NeedPath(path);
    m_doc.FileOpen(path);
    const qsizetype slash = path.lastIndexOf(u'/');
    WriteSetting(m_services.settings, Settings::kOpenFolder,
                 slash < 0 ? path : path.left(slash == 0 ? 1 : slash));
  }

  void Slice(const QStringList& w) {
    const int size = IntIn(w[0], 1, 65536);
    const int rotating = w.size() > 1 ? IntIn(w[1], 0, 1) : 0;
    const int zoom = w.size() > 2 ? Int(w[2]) : 1;
    if (zoom != 1 && zoom != 2 && zoom != 4)
      throw LineError{QStringLiteral("zoom must be 1, 2 or 4")};
    m_doc.CreateSlice(size, rotating, zoom);
  }

  void Tool(const QString& word) {
    if (word == u"brush")
      m_doc.m_tool = 1;
    else if (word == u"eraser")
      m_doc.m_tool = 0;
    else
      throw LineError{QStringLiteral("tool brush or eraser")};
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

  // As a brush slider's release.
  void Brush(const QStringList& words) {
    const int size = IntIn(words[0], MergeLimits::kBrushSize);
    const auto softnessRange = MergeLimits::kSoftness;
    bool ok = false;
    const double softness = words[1].toDouble(&ok);
    if (!ok || !std::isfinite(softness) || !softnessRange.Holds(softness))
      throw LineError{QStringLiteral("softness must be a number from %1 to %2: ")
                          .arg(softnessRange.low)
                          .arg(softnessRange.high) +
                      words[1]};
    const int opacity = IntIn(words[2], MergeLimits::kOpacity);
    m_doc.SetBrush(size, softness, opacity, CQuiltorDoc::BrushStep::Done);
  }

  void MatchColours(const QString& word) {
    if (word != u"on" && word != u"off") throw LineError{QStringLiteral("match-colours on or off")};
    // As the Merger's check box: a merge under way is rebuilt at once.
    m_doc.SetMatchColours(word == u"on");
  }

  void ExportSmall(const QString& word) {
    const int size = Int(word);
    if (size != 512 && size != 1024) throw LineError{QStringLiteral("export-small 512 or 1024")};
    m_doc.ExportSmall(size);
  }

  void ExportAndNote() {
    const QString name = m_doc.ExportAndLock();
    if (!name.isEmpty()) CConsoleHost::Note(QStringLiteral("history: ") + name);
  }

  // Stable Diffusion: send exports and locks first, as the Slicer's button.
  void Send(const QString& folder) {
    const QString name = m_doc.ExportAndLock();
    if (name.isEmpty()) return;
    CConsoleHost::Note(QStringLiteral("history: ") + name);
    SdSendAndWait(m_doc, m_services.settings, name, folder);
  }

  void WritePreview(const QString& path) {
    NeedPath(path);
    CISImageEx* preview = m_host.MaskPreviewImage();
    if (!preview->HasPixels()) throw LineError{QStringLiteral("the mask preview is empty")};
    if (preview->SaveFile(QFile::encodeName(path).toStdString(), kFilePNG) != kISOk)
      throw LineError{QStringLiteral("can't write ") + path};
  }

  // The main image as it is, without saving (the document stays modified).
  void WriteMain(const QString& path) {
    NeedPath(path);
    if (!m_doc.m_mainImage.HasPixels()) throw LineError{QStringLiteral("there is no main image")};
    if (m_doc.m_mainImage.SaveFile(QFile::encodeName(path).toStdString(), kFilePNG) != kISOk)
      throw LineError{QStringLiteral("can't write ") + path};
  }

  // The host's next file dialog answers path.
  void SaveAs(const QString& path) {
    m_host.m_nextSavePath = path;
    m_doc.FileSaveAs();
    m_host.m_nextSavePath.clear();
  }
  void Shadow(const QString& path) {
    m_host.m_nextOpenPath = path;
    m_doc.OpenShadowImage();
    m_host.m_nextOpenPath.clear();
  }

  static void Wait() {
    CConsoleHost::Note(QStringLiteral("waiting"));
    std::fflush(stdout);
    char line[256];
    if (!std::fgets(line, sizeof line, stdin)) std::clearerr(stdin);
  }

  CConsoleHost m_host;
  CQuiltorServices m_services;
  CQuiltorDoc m_doc;
};

using C = CScript;
const CScript::Command CScript::kCommands[] = {
    {"answer", kOne, [](C& s, const Line& l) { s.Answer(l.words[0]); }},
    {"open", kFree, [](C& s, const Line& l) { s.Open(l.rest); }},
    {"new", kNone, [](C& s, const Line&) { s.m_doc.FileNew(); }},
    {"save", kNone, [](C& s, const Line&) { s.m_doc.FileSave(); }},
    {"save-as", kFree, [](C& s, const Line& l) { s.SaveAs(l.rest); }},
    {"slice", {1, 3}, [](C& s, const Line& l) { s.Slice(l.words); }},
    {"place", {4, 4},
     [](C& s, const Line& l) {
       const auto v = Ints(l.words);
       s.m_doc.PlaceSlice(v[0], v[1], v[2], v[3]);
     }},
    {"place-rotated", {5, 5},
     [](C& s, const Line& l) {
       const auto v = Ints(l.words);
       s.m_doc.PlaceRotatedSlice(v[0], v[1], v[2], v[3], v[4]);
     }},
    {"move", {2, 2},
     [](C& s, const Line& l) {
       const auto v = Ints(l.words);
       s.m_doc.MoveSlice(v[0], v[1]);
     }},
    {"centre", {2, 2},
     [](C& s, const Line& l) {
       const auto v = Ints(l.words);
       s.m_doc.CentreSliceAt(v[0], v[1]);
     }},
    {"angle", kOne, [](C& s, const Line& l) { s.m_doc.SetSliceAngle(Int(l.words[0])); }},
    {"lock", kNone, [](C& s, const Line&) { s.m_doc.LockSlice(); }},
    {"cancel-lock", kNone, [](C& s, const Line&) { s.m_doc.CancelLock(); }},
    {"folder", kFree, [](C& s, const Line& l) { s.m_doc.m_sliceFolder = l.rest; }},
    {"export", kNone, [](C& s, const Line&) { s.ExportAndNote(); }},
    {"auto-clipboard", kNone, [](C& s, const Line&) { s.m_doc.ToggleAutoSendToClipboard(); }},
    {"open-slice-folder", kNone, [](C& s, const Line&) { s.m_doc.OpenSliceFolder(); }},
    {"state", kNone, [](C& s, const Line&) { s.PrintState(); }},
    {"import", kFree,
     [](C& s, const Line& l) {
       NeedPath(l.rest);
       s.m_doc.ImportFile(l.rest);
     }},
    {"quick-import", kFree,
     [](C& s, const Line& l) { QuickImport(s.m_doc, s.m_services.settings, l.rest); }},
    {"find-recent", kFree,
     [](C& s, const Line& l) {
       const QString folder = FindMostRecentSubfolder(s.m_services.settings, l.rest);
       if (!folder.isEmpty()) CConsoleHost::Note(QStringLiteral("img2img: ") + folder);
     }},
    {"tool", kOne, [](C& s, const Line& l) { s.Tool(l.words[0]); }},
    {"brush", {3, 3}, [](C& s, const Line& l) { s.Brush(l.words); }},
    {"paint", kFree, [](C& s, const Line& l) { s.Paint(l.words); }},
    {"fill", kOne, [](C& s, const Line& l) { s.m_doc.FillMask(IntIn(l.words[0], 0, 255)); }},
    {"fill-opacity", kNone,
     [](C& s, const Line&) { s.m_doc.FillMaskAtOpacity(s.m_doc.m_brush.m_opacity); }},
    {"invert", kNone, [](C& s, const Line&) { s.m_doc.InvertMask(); }},
    {"edge-blur", kOne,
     [](C& s, const Line& l) {
       s.m_doc.SetEdgeBlur(IntIn(l.words[0], MergeLimits::kEdgeBlur),
                           CQuiltorDoc::EdgeBlurStep::Done);
     }},
    {"match-colours", kOne, [](C& s, const Line& l) { s.MatchColours(l.words[0]); }},
    {"apply", kNone, [](C& s, const Line&) { s.m_doc.ApplyMerge(); }},
    {"cancel-merge", kNone, [](C& s, const Line&) { s.m_doc.CancelMerge(); }},
    {"shadow", kFree, [](C& s, const Line& l) { s.Shadow(l.rest); }},
    {"shadow-copy", kNone, [](C& s, const Line&) { s.m_doc.CopyMainToShadow(); }},
    {"shadow-remove", kNone, [](C& s, const Line&) { s.m_doc.RemoveShadowImage(); }},
    {"export-small", kOne, [](C& s, const Line& l) { s.ExportSmall(l.words[0]); }},
    {"show-frame", kNone, [](C& s, const Line&) { s.m_doc.ToggleShowFrame(); }},
    {"write-preview", kFree, [](C& s, const Line& l) { s.WritePreview(l.rest); }},
    {"undo", kNone,
     [](C& s, const Line&) {
       if (!s.m_doc.CanUndo()) CConsoleHost::Note(QStringLiteral("nothing to undo"));
       s.m_doc.Undo();
     }},
    {"redo", kNone,
     [](C& s, const Line&) {
       if (!s.m_doc.CanRedo()) CConsoleHost::Note(QStringLiteral("nothing to redo"));
       s.m_doc.Redo();
     }},
    {"recover", kNone,
     [](C& s, const Line&) {
       if (!s.m_doc.OfferRecovery()) CConsoleHost::Note(QStringLiteral("nothing recovered"));
     }},
    {"write-main", kFree, [](C& s, const Line& l) { s.WriteMain(l.rest); }},
    // Of the pixel allocations to come, the one after N successful ones fails.
    {"fail-alloc", kOne,
     [](C&, const Line& l) { qimg::FailAllocationAfter(IntIn(l.words[0], 0, 1 << 20)); }},
    // The program dies as by a power cut while it compacts its journal.
    {"kill-during-compaction", kNone,
     [](C&, const Line&) { CRecoveryJournal::SetCompactionHook([] { ::raise(SIGKILL); }); }},
    {"sd-server", kFree,
     [](C& s, const Line& l) { Check(SdServer(s.m_services.settings, l.words)); }},
    {"sd-set", kFree, [](C& s, const Line& l) { Check(SdSet(s.m_services.settings, l.rest)); }},
    {"send", kFree, [](C& s, const Line& l) { s.Send(l.rest); }},
    {"export-grid", kFree, [](C& s, const Line& l) { Check(ExportGridLine(s.m_doc, l.words)); }},
    {"import-batch", kFree, [](C& s, const Line& l) { Check(ImportBatchLine(s.m_doc, l.words)); }},
    {"wait", kNone, [](C&, const Line&) { Wait(); }},
};

void CScript::Execute(const QString& text) {
  const qsizetype space = text.indexOf(QRegularExpression(QStringLiteral("\\s")));
  const QString command = space < 0 ? text : text.left(space);
  Line line;
  line.rest = space < 0 ? QString() : text.mid(space + 1).trimmed();
  line.words = line.rest.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
  const auto it = std::find_if(std::begin(kCommands), std::end(kCommands), [&](const Command& c) {
    return command == QLatin1StringView(c.name);
  });
  if (it == std::end(kCommands)) throw LineError{QStringLiteral("unknown command: ") + command};
  if (it->arguments.low >= 0) Count(line.words, it->arguments.low, it->arguments.high);
  it->handler(*this, line);
}

}  // namespace

int CmdRun(const Args& given) {
  Args args = given;
  const auto flag = std::find(args.begin(), args.end(), "--progress");
  const bool progress = flag != args.end();
  if (progress) args.erase(flag);
  if (args.size() > 1) {
    std::fputs("usage: quiltor-cli run [--progress] [FILE]\n", stderr);
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
  if (progress) script.ShowProgress();
  const bool clean = script.Run(input);
  std::fflush(stdout);
  return clean ? 0 : 1;
}
#endif
