// The HTTP side of Send to Stable Diffusion: one img2img run at a time against
// the web UI's API (started with --api) or ComfyUI, asynchronous on the
// caller's event loop. Every answer is read as it streams in and refused once
// it passes the size limit; a run ends in exactly one of done, failed or an
// Interrupt() by the caller. An address's user and password go out as basic
// authentication and never appear in a message.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

#include "sd/SdSettings.h"

class QNetworkReply;

class CSdClient {
 public:
  struct Job {
    QByteArray slicePng;    // the slice file's bytes
    QString sliceName;      // its file name, for the upload
    QByteArray controlPng;  // the ControlNet slice; empty for none
    int width = 0, height = 0;
  };
  struct Callbacks {
    // fraction 0..1, or below 0 when the server does not say; preview is the
    // server's current picture (encoded) when it offers one.
    std::function<void(double fraction, const QByteArray& preview)> progress;
    std::function<void(const QByteArray& picture)> done;
    std::function<void(const QString& error)> failed;
  };

  explicit CSdClient(Callbacks callbacks);
  ~CSdClient();
  CSdClient(const CSdClient&) = delete;
  CSdClient& operator=(const CSdClient&) = delete;

  bool Busy() const { return m_running; }
  void Send(const CSdSettings& settings, const Job& job);
  // Tells the server to stop and ends the run at once, without a callback.
  void Interrupt();
  // Test connection: the server's model list, or the error.
  void ListModels(const CSdSettings& settings,
                  std::function<void(const QStringList& models, const QString& error)> answer);

  // The address without its user and password, as it may be shown.
  static QString ShownAddress(const QString& address);

 private:
  using Handler = std::function<void(const QByteArray& body)>;
  struct Pending;

  QNetworkReply* Request(const QByteArray& verb, const QString& route, const QByteArray& body,
                         const QByteArray& contentType, Handler handler,
                         std::function<void(const QString&)> onError = {}, bool keepsAlive = true);
  // keepsAlive: the answer's bytes count as a sign of work for the idle
  // limit (a progress answer counts only when the progress moved).
  QNetworkReply* Track(QNetworkReply* reply, const QString& route, Handler handler,
                       std::function<void(const QString&)> onError, bool keepsAlive = true);
  // Takes the settings; the address's user and password become the header.
  void Adopt(const CSdSettings& settings);
  QNetworkRequest MakeRequest(const QString& route) const;
  void Fail(const QString& error);
  void Finish(const QByteArray& picture);
  void EndRun();
  void Touch();
  void PollWebUi();
  void PollComfy();
  void StartWebUi(const Job& job);
  void StartComfy(const Job& job);
  void UploadComfy(const QByteArray& png, const QString& name, std::function<void(QString)> next);
  void QueueComfy();
  void FetchComfyImage(const QJsonObject& outputs);
  // Decodes a base64 picture of an answer ("data:" prefix allowed).
  static bool DecodeBase64(const QString& text, QByteArray& out);
  static QString ServerDetail(const QByteArray& body);

  Callbacks m_callbacks;
  QNetworkAccessManager m_net;
  CSdSettings m_settings;
  int m_transferTimeoutMs = 0;  // for requests outside a run
  QString m_auth;               // the Authorization header's value, or empty
  bool m_running = false;
  unsigned m_run = 0;  // answers of an earlier run are ignored
  QTimer m_poll;
  QTimer m_idle;
  bool m_pollPending = false;
  double m_lastProgress = -1;
  QString m_comfyId;
  QJsonObject m_workflow;  // ComfyUI: the workflow, its inputs set as uploads arrive
};
