// quiltor-cli run's Stable Diffusion lines. Each returns an error text for
// the script's "# error" line, empty when the line was fine.
#pragma once

#include <QString>
#include <QStringList>

class CQuiltorDoc;
class CSettingsStore;

// sd-server URL [webui|comfyui]
QString SdServer(CSettingsStore& settings, const QStringList& words);
// sd-set KEY VALUE (the value is the rest of the line)
QString SdSet(CSettingsStore& settings, const QString& rest);
// send: the slice just exported as sliceName goes to the server; blocks until
// the result is merged or the run failed (the document reports which). The
// result goes into folder, else the Slicer's img2img folder, else the slice
// folder.
void SdSendAndWait(CQuiltorDoc& doc, CSettingsStore& settings, const QString& sliceName,
                   const QString& folder);
