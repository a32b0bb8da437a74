// Send to Stable Diffusion, after Export && Lock: the exported slice file (and
// its ControlNet slice) goes to the server, and the returned picture is
// written as NAME-sd.png into the img2img folder and imported exactly as
// Quick Import imports it. Any failure is one "Error: Stable Diffusion: ..."
// line and a message box; the square stays locked and the picture untouched.
#pragma once

#include <QString>
#include <functional>

#include "sd/SdClient.h"

class CQuiltorDoc;
class CSettingsStore;

class CSdSend {
 public:
  CSdSend(CQuiltorDoc& doc, CSettingsStore& settings);

  // Sends the slice Export && Lock just wrote under sliceName into the
  // document's slice folder. The result goes into img2imgFolder (the slice
  // folder when that is empty). False when the run is already over (reported).
  bool Send(const QString& sliceName, const QString& img2imgFolder);
  bool Busy() const { return m_client.Busy(); }
  // Interrupts the server; the square stays locked as after Export && Lock.
  void Cancel();

  // fraction 0..1, or below 0 while the server does not say.
  std::function<void(double fraction)> onProgress;
  // The run is over, whichever way it ended.
  std::function<void()> onFinished;

  // Where a result for sliceName goes: NAME-sd.png, then NAME-sd_2.png and
  // on, never a file that exists.
  static QString ResultPath(const QString& folder, const QString& sliceName);

 private:
  struct Square {
    int x = 0, y = 0, width = 0, height = 0, rotating = 0, angle = 0, zoom = 0;
    uint32_t imageWidth = 0, imageHeight = 0;
    bool operator==(const Square&) const = default;
  };
  Square CurrentSquare() const;
  void Progress(double fraction, const QByteArray& preview);
  void Done(const QByteArray& picture);
  void Report(const QString& text);  // the line and the box
  void Error(const QString& text);   // the same, and the run is over
  void End();

  CQuiltorDoc& m_doc;
  CSettingsStore& m_settings;
  CSdClient m_client;
  QString m_sliceName;
  QString m_folder;  // the result's folder
  Square m_square;   // the square as it was sent
};
