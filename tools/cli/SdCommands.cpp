#ifdef QUILTOR_HAS_DOCUMENT
#include "tools/cli/SdCommands.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <cmath>
#include <memory>

#include "document/SettingsStore.h"
#include "sd/SdSend.h"
#include "tools/cli/ConsoleHost.h"

QString SdServer(CSettingsStore& settings, const QStringList& words) {
  if (words.isEmpty() || words.size() > 2) return QStringLiteral("sd-server URL [webui|comfyui]");
  CSdSettings s = CSdSettings::Read(settings);
  if (!CSdSettings::ValidAddress(words[0]))
    return QStringLiteral("not a server address: ") + CSdClient::ShownAddress(words[0]);
  if (words.size() == 2 && words[1] != u"webui" && words[1] != u"comfyui")
    return QStringLiteral("the server kind is webui or comfyui");
  s.address = words[0];
  if (words.size() == 2)
    s.kind = words[1] == u"comfyui" ? CSdSettings::Kind::ComfyUi : CSdSettings::Kind::WebUi;
  s.Write(settings);
  return {};
}

QString SdSet(CSettingsStore& settings, const QString& rest) {
  const qsizetype space = rest.indexOf(u' ');
  const QString key = space < 0 ? rest : rest.left(space);
  if (key.isEmpty()) return QStringLiteral("sd-set KEY VALUE");
  CSdSettings s = CSdSettings::Read(settings);
  QString error;
  if (!s.Set(key, space < 0 ? QString() : rest.mid(space + 1).trimmed(), error)) return error;
  s.Write(settings);
  return {};
}

void SdSendAndWait(CQuiltorDoc& doc, CSettingsStore& settings, const QString& sliceName,
                   const QString& folder) {
  // The network needs an event loop; the console has none until a send.
  static int argc = 1;
  static char name[] = "quiltor-cli";
  static char* argv[] = {name, nullptr};
  static std::unique_ptr<QCoreApplication> app;
  if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);

  CSdSend send(doc, settings);
  QEventLoop loop;
  int shown = -1;
  send.onProgress = [&shown](double fraction) {
    const int percent = fraction < 0 ? -1 : static_cast<int>(std::lround(fraction * 100));
    if (percent == shown || percent < 0) return;
    shown = percent;
    CConsoleHost::Note(QStringLiteral("progress: %1%").arg(percent));
    std::fflush(stdout);
  };
  send.onFinished = [&loop] { loop.quit(); };
  const QString target = folder.isEmpty() ? ReadSetting(settings, Settings::kImportPath) : folder;
  if (send.Send(sliceName, target)) loop.exec();
}
#endif
