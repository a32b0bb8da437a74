#include "sd/SdClient.h"

#include <QFile>
#include <QHttpMultiPart>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QUrl>
#include <QUrlQuery>
#include <QUuid>

namespace {

const char* kRunProperty = "sdRun";

QJsonObject ParseObject(const QByteArray& body, bool& ok) {
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
  ok = error.error == QJsonParseError::NoError && doc.isObject();
  return doc.object();
}

QString Unexpected(const QString& route, const QString& what) {
  return QStringLiteral("unexpected answer from %1: %2").arg(route, what);
}

// The id of the workflow node carrying a title, or empty.
QString NodeTitled(const QJsonObject& workflow, const QString& title) {
  for (auto it = workflow.begin(); it != workflow.end(); ++it)
    if (it->toObject().value(u"_meta").toObject().value(u"title").toString() == title)
      return it.key();
  return {};
}

}  // namespace

struct CSdClient::Pending {
  QByteArray data;
  bool connected = false;
  bool tooLarge = false;
  bool connectTimeout = false;
};

CSdClient::CSdClient(Callbacks callbacks) : m_callbacks(std::move(callbacks)) {
  m_poll.callOnTimeout([this] {
    if (m_settings.kind == CSdSettings::Kind::ComfyUi)
      PollComfy();
    else
      PollWebUi();
  });
  m_idle.setSingleShot(true);
  m_idle.callOnTimeout([this] {
    Fail(QStringLiteral("no answer from %1 for %2 s")
             .arg(ShownAddress(m_settings.address))
             .arg(m_settings.idleTimeoutMs / 1000.0));
  });
}

CSdClient::~CSdClient() {
  // The replies die with the manager; none may call back into a half-gone client.
  for (QNetworkReply* reply : m_net.findChildren<QNetworkReply*>()) {
    QObject::disconnect(reply, nullptr, nullptr, nullptr);
    reply->abort();
  }
}

QString CSdClient::ShownAddress(const QString& address) {
  QUrl url(address);
  url.setUserInfo(QString());
  return url.toString(QUrl::StripTrailingSlash);
}

QNetworkRequest CSdClient::MakeRequest(const QString& route) const {
  QUrl url(m_settings.address);
  url.setUserInfo(QString());
  const qsizetype query = route.indexOf(u'?');
  QString path = url.path();
  if (path.endsWith(u'/')) path.chop(1);
  url.setPath(path + (query < 0 ? route : route.left(query)));
  if (query >= 0) url.setQuery(route.mid(query + 1));
  QNetworkRequest request(url);
  if (m_transferTimeoutMs > 0) request.setTransferTimeout(m_transferTimeoutMs);
  if (!m_auth.isEmpty()) request.setRawHeader("Authorization", m_auth.toLatin1());
  return request;
}

QNetworkReply* CSdClient::Request(const QByteArray& verb, const QString& route,
                                  const QByteArray& body, const QByteArray& contentType,
                                  Handler handler, std::function<void(const QString&)> onError,
                                  bool keepsAlive) {
  QNetworkRequest request = MakeRequest(route);
  if (!contentType.isEmpty()) request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
  QNetworkReply* reply =
      verb == "GET" ? m_net.get(request) : m_net.sendCustomRequest(request, verb, body);
  return Track(reply, route, std::move(handler), std::move(onError), keepsAlive);
}

QNetworkReply* CSdClient::Track(QNetworkReply* reply, const QString& route, Handler handler,
                                std::function<void(const QString&)> onError, bool keepsAlive) {
  const QString where = route.section(u'?', 0, 0);
  const bool ofRun = m_running;
  const unsigned run = m_run;
  if (ofRun) reply->setProperty(kRunProperty, run);
  if (!onError) onError = [this](const QString& e) { Fail(e); };
  auto state = std::make_shared<Pending>();
  const qint64 limit = qint64{m_settings.answerLimitMB} << 20;
  auto connected = [state] { state->connected = true; };
  QObject::connect(reply, &QNetworkReply::requestSent, reply, connected);
  QObject::connect(reply, &QNetworkReply::uploadProgress, reply,
                   [this, state, keepsAlive](qint64 sent, qint64) {
                     if (sent > 0) state->connected = true;
                     if (keepsAlive) Touch();
                   });
  QTimer::singleShot(m_settings.connectTimeoutMs, reply, [state, reply] {
    if (state->connected || !reply->isRunning()) return;
    state->connectTimeout = true;
    reply->abort();
  });
  auto refuse = [state, reply] {
    state->tooLarge = true;
    state->data = QByteArray();
    reply->abort();
  };
  QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [=] {
    state->connected = true;
    if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > limit) refuse();
  });
  QObject::connect(reply, &QNetworkReply::readyRead, reply, [=, this] {
    state->connected = true;
    if (keepsAlive) Touch();
    if (state->tooLarge) return;
    state->data += reply->readAll();
    if (state->data.size() > limit) refuse();
  });
  QObject::connect(reply, &QNetworkReply::finished, reply, [=, this] {
    reply->deleteLater();
    if (ofRun && (!m_running || m_run != run)) return;
    if (!state->tooLarge) state->data += reply->readAll();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString address = ShownAddress(m_settings.address);
    QString error;
    if (state->connectTimeout) {
      error = QStringLiteral("no connection to %1 within %2 s")
                  .arg(address)
                  .arg(m_settings.connectTimeoutMs / 1000.0);
    } else if (state->tooLarge) {
      error = QStringLiteral("the answer from %1 is larger than %2 MB")
                  .arg(where)
                  .arg(m_settings.answerLimitMB);
    } else if (status >= 400) {
      error =
          QStringLiteral("HTTP %1 from %2: %3").arg(status).arg(where, ServerDetail(state->data));
    } else if (reply->error() == QNetworkReply::ConnectionRefusedError) {
      error = QStringLiteral("connection refused by ") + address;
    } else if (reply->error() == QNetworkReply::TimeoutError ||
               reply->error() == QNetworkReply::OperationCanceledError) {
      error = QStringLiteral("no answer from %1 for %2 s")
                  .arg(address)
                  .arg(m_settings.idleTimeoutMs / 1000.0);
    } else if (reply->error() == QNetworkReply::HostNotFoundError) {
      error = QStringLiteral("host not found: ") + QUrl(m_settings.address).host();
    } else if (reply->error() != QNetworkReply::NoError) {
      error = QStringLiteral("can't reach %1: %2").arg(address, reply->errorString());
    }
    if (!error.isEmpty())
      onError(error);
    else
      handler(state->data);
  });
  return reply;
}

void CSdClient::Touch() {
  if (m_running) m_idle.start(m_settings.idleTimeoutMs);
}

void CSdClient::Adopt(const CSdSettings& settings) {
  m_settings = settings;
  const QUrl url(settings.address);
  m_auth.clear();
  if (!url.userName().isEmpty())
    m_auth = QStringLiteral("Basic ") +
             QString::fromLatin1(
                 (url.userName(QUrl::FullyDecoded) + u':' + url.password(QUrl::FullyDecoded))
                     .toUtf8()
                     .toBase64());
}

void CSdClient::Send(const CSdSettings& settings, const Job& job) {
  if (m_running) return;
  Adopt(settings);
  m_running = true;
  ++m_run;
  m_pollPending = false;
  m_lastProgress = -1;
  Touch();
  if (settings.kind == CSdSettings::Kind::ComfyUi)
    StartComfy(job);
  else
    StartWebUi(job);
}

void CSdClient::EndRun() {
  m_running = false;
  m_poll.stop();
  m_idle.stop();
  for (QNetworkReply* reply : m_net.findChildren<QNetworkReply*>()) {
    if (!reply->property(kRunProperty).isValid()) continue;
    QObject::disconnect(reply, nullptr, nullptr, nullptr);
    reply->abort();
    reply->deleteLater();
  }
}

void CSdClient::Fail(const QString& error) {
  if (!m_running) return;
  EndRun();
  if (m_callbacks.failed) m_callbacks.failed(error);
}

void CSdClient::Finish(const QByteArray& picture) {
  if (!m_running) return;
  EndRun();
  if (m_callbacks.done) m_callbacks.done(picture);
}

void CSdClient::Interrupt() {
  if (!m_running) return;
  const bool comfy = m_settings.kind == CSdSettings::Kind::ComfyUi;
  EndRun();
  // Told, not awaited: the run is over for us either way.
  Request(
      "POST", comfy ? QStringLiteral("/interrupt") : QStringLiteral("/sdapi/v1/interrupt"),
      QByteArray(), "application/json", [](const QByteArray&) {}, [](const QString&) {});
}

bool CSdClient::DecodeBase64(const QString& text, QByteArray& out) {
  QString data = text;
  if (data.startsWith(QStringLiteral("data:"))) data = data.section(u',', 1);
  const auto decoded =
      QByteArray::fromBase64Encoding(data.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded || decoded.decoded.isEmpty()) return false;
  out = decoded.decoded;
  return true;
}

QString CSdClient::ServerDetail(const QByteArray& body) {
  bool ok = false;
  const QJsonObject o = ParseObject(body, ok);
  for (const char* key : {"detail", "error", "message"}) {
    if (!ok) break;
    const QJsonValue v = o.value(QLatin1StringView(key));
    if (v.isString()) return v.toString();
    if (v.isObject() && v.toObject().value(u"message").isString())
      return v.toObject().value(u"message").toString();
    if (v.isArray() || v.isObject())
      return QString::fromUtf8(
          QJsonDocument(v.isArray() ? QJsonDocument(v.toArray()) : QJsonDocument(v.toObject()))
              .toJson(QJsonDocument::Compact));
  }
  const QString text = QString::fromUtf8(body.left(300)).simplified();
  return text.isEmpty() ? QStringLiteral("(no text)") : text;
}

// --- the web UI's API

void CSdClient::StartWebUi(const Job& job) {
  const CSdSettings& s = m_settings;
  QJsonObject body{
      {QStringLiteral("init_images"), QJsonArray{QString::fromLatin1(job.slicePng.toBase64())}},
      {QStringLiteral("prompt"), s.prompt},
      {QStringLiteral("negative_prompt"), s.negativePrompt},
      {QStringLiteral("denoising_strength"), s.denoise},
      {QStringLiteral("steps"), s.steps},
      {QStringLiteral("cfg_scale"), s.cfgScale},
      {QStringLiteral("sampler_name"), s.sampler},
      {QStringLiteral("seed"), static_cast<double>(s.seed)},
      {QStringLiteral("width"), job.width},
      {QStringLiteral("height"), job.height},
      {QStringLiteral("send_images"), true},
      {QStringLiteral("save_images"), false}};
  if (!job.controlPng.isEmpty()) {
    const QJsonObject unit{
        {QStringLiteral("enabled"), true},
        {QStringLiteral("image"), QString::fromLatin1(job.controlPng.toBase64())},
        {QStringLiteral("module"), s.controlNetModule},
        {QStringLiteral("model"), s.controlNetModel},
        {QStringLiteral("weight"), s.controlNetWeight}};
    body.insert(QStringLiteral("alwayson_scripts"),
                QJsonObject{{QStringLiteral("ControlNet"),
                             QJsonObject{{QStringLiteral("args"), QJsonArray{unit}}}}});
  }
  const QString route = QStringLiteral("/sdapi/v1/img2img");
  Request("POST", route, QJsonDocument(body).toJson(QJsonDocument::Compact), "application/json",
          [this, route](const QByteArray& answer) {
            bool ok = false;
            const QJsonArray images = ParseObject(answer, ok).value(u"images").toArray();
            QByteArray picture;
            if (!ok || images.isEmpty() || !images.first().isString())
              Fail(Unexpected(route, QStringLiteral("no images")));
            else if (!DecodeBase64(images.first().toString(), picture))
              Fail(Unexpected(route, QStringLiteral("the image is not valid base64")));
            else
              Finish(picture);
          });
  m_poll.start(m_settings.pollMs);
}

void CSdClient::PollWebUi() {
  if (m_pollPending) return;
  m_pollPending = true;
  // Progress is a courtesy: a bad answer here leaves the run to the main request.
  Request(
      "GET", QStringLiteral("/sdapi/v1/progress?skip_current_image=false"), QByteArray(), {},
      [this](const QByteArray& answer) {
        m_pollPending = false;
        bool ok = false;
        const QJsonObject o = ParseObject(answer, ok);
        if (!ok || !o.value(u"progress").isDouble()) return;
        // Moving progress, or a job the server names (a model loading),
        // is a sign of work; the same 0 over and over is not.
        const double progress = o.value(u"progress").toDouble();
        if (progress != m_lastProgress ||
            !o.value(u"state").toObject().value(u"job").toString().isEmpty())
          Touch();
        m_lastProgress = progress;
        QByteArray preview;
        if (o.value(u"current_image").isString())
          DecodeBase64(o.value(u"current_image").toString(), preview);
        if (m_callbacks.progress) m_callbacks.progress(std::clamp(progress, 0.0, 1.0), preview);
      },
      [this](const QString&) { m_pollPending = false; }, false);
}

// --- ComfyUI

void CSdClient::StartComfy(const Job& job) {
  if (m_settings.workflow.isEmpty()) {
    Fail(QStringLiteral("no ComfyUI workflow file is set"));
    return;
  }
  QFile file(m_settings.workflow);
  bool ok = file.open(QIODevice::ReadOnly);
  m_workflow = ok ? ParseObject(file.readAll(), ok) : QJsonObject();
  if (!ok) {
    Fail(QStringLiteral("can't read the workflow (API format JSON): ") + m_settings.workflow);
    return;
  }
  const QString input = NodeTitled(m_workflow, QStringLiteral("quiltor_input"));
  if (input.isEmpty()) {
    Fail(QStringLiteral("the workflow has no node titled \"quiltor_input\""));
    return;
  }
  const QString control = NodeTitled(m_workflow, QStringLiteral("quiltor_control"));
  const bool withControl = !control.isEmpty() && !job.controlPng.isEmpty();
  const QByteArray controlPng = job.controlPng;
  const QString controlName = QStringLiteral("control_") + job.sliceName;
  UploadComfy(job.slicePng, job.sliceName, [=, this](const QString&) {
    if (!withControl)
      QueueComfy();
    else
      UploadComfy(controlPng, controlName, [this](const QString&) { QueueComfy(); });
  });
  // Which node gets which upload is known before the answers come.
  m_workflow.insert(QStringLiteral("_quiltor_input"), input);
  if (withControl) m_workflow.insert(QStringLiteral("_quiltor_control"), control);
}

void CSdClient::UploadComfy(const QByteArray& png, const QString& name,
                            std::function<void(QString)> next) {
  auto* multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
  QHttpPart image;
  image.setHeader(QNetworkRequest::ContentDispositionHeader,
                  QStringLiteral("form-data; name=\"image\"; filename=\"%1\"").arg(name));
  image.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("image/png"));
  image.setBody(png);
  multi->append(image);
  QHttpPart overwrite;
  overwrite.setHeader(QNetworkRequest::ContentDispositionHeader,
                      QStringLiteral("form-data; name=\"overwrite\""));
  overwrite.setBody("true");
  multi->append(overwrite);
  const QString route = QStringLiteral("/upload/image");
  const bool control = name.startsWith(QStringLiteral("control_"));
  QNetworkReply* reply =
      Track(m_net.post(MakeRequest(route), multi), route,
            [=, this](const QByteArray& answer) {
              bool ok = false;
              const QJsonObject o = ParseObject(answer, ok);
              const QString stored = o.value(u"name").toString();
              if (!ok || stored.isEmpty()) {
                Fail(Unexpected(route, QStringLiteral("no name")));
                return;
              }
              const QString subfolder = o.value(u"subfolder").toString();
              const QString reference = subfolder.isEmpty() ? stored : subfolder + u'/' + stored;
              const QString key =
                  control ? QStringLiteral("_quiltor_control") : QStringLiteral("_quiltor_input");
              const QString id = m_workflow.value(key).toString();
              QJsonObject node = m_workflow.value(id).toObject();
              QJsonObject inputs = node.value(u"inputs").toObject();
              inputs.insert(QStringLiteral("image"), reference);
              node.insert(QStringLiteral("inputs"), inputs);
              m_workflow.insert(id, node);
              next(reference);
            },
            {});
  multi->setParent(reply);
}

void CSdClient::QueueComfy() {
  m_workflow.remove(QStringLiteral("_quiltor_input"));
  m_workflow.remove(QStringLiteral("_quiltor_control"));
  const QJsonObject body{
      {QStringLiteral("prompt"), m_workflow},
      {QStringLiteral("client_id"), QUuid::createUuid().toString(QUuid::WithoutBraces)}};
  const QString route = QStringLiteral("/prompt");
  Request("POST", route, QJsonDocument(body).toJson(QJsonDocument::Compact), "application/json",
          [this, route](const QByteArray& answer) {
            bool ok = false;
            m_comfyId = ParseObject(answer, ok).value(u"prompt_id").toString();
            if (!ok || m_comfyId.isEmpty()) {
              Fail(Unexpected(route, QStringLiteral("no prompt_id")));
              return;
            }
            if (m_callbacks.progress) m_callbacks.progress(-1, {});
            m_poll.start(m_settings.pollMs);
          });
}

void CSdClient::PollComfy() {
  if (m_pollPending || m_comfyId.isEmpty()) return;
  m_pollPending = true;
  const QString route = QStringLiteral("/history/") + m_comfyId;
  Request("GET", route, QByteArray(), {}, [this, route](const QByteArray& answer) {
    m_pollPending = false;
    bool ok = false;
    const QJsonObject history = ParseObject(answer, ok);
    if (!ok) {
      Fail(Unexpected(route, QStringLiteral("not a JSON object")));
      return;
    }
    const QJsonObject entry = history.value(m_comfyId).toObject();
    if (entry.isEmpty()) return;  // still queued or running
    const QJsonObject status = entry.value(u"status").toObject();
    if (status.value(u"status_str").toString() == u"error") {
      QStringList messages;
      for (const QJsonValue& m : status.value(u"messages").toArray()) {
        const QJsonObject data = m.toArray().at(1).toObject();
        if (data.contains(u"exception_message"))
          messages << data.value(u"exception_message").toString().trimmed();
      }
      Fail(QStringLiteral("the workflow failed: ") +
           (messages.isEmpty() ? QStringLiteral("(no message)") : messages.join(u' ')));
      return;
    }
    const QJsonObject outputs = entry.value(u"outputs").toObject();
    if (outputs.isEmpty()) return;
    m_poll.stop();
    FetchComfyImage(outputs);
  });
}

void CSdClient::FetchComfyImage(const QJsonObject& outputs) {
  for (const QJsonValue& node : outputs) {
    for (const QJsonValue& v : node.toObject().value(u"images").toArray()) {
      const QJsonObject image = v.toObject();
      if (image.value(u"type").toString() != u"output") continue;
      QUrlQuery query;
      query.addQueryItem(QStringLiteral("filename"), image.value(u"filename").toString());
      query.addQueryItem(QStringLiteral("subfolder"), image.value(u"subfolder").toString());
      query.addQueryItem(QStringLiteral("type"), QStringLiteral("output"));
      Request("GET", QStringLiteral("/view?") + query.toString(QUrl::FullyEncoded), QByteArray(),
              {}, [this](const QByteArray& picture) { Finish(picture); });
      return;
    }
  }
  Fail(Unexpected(QStringLiteral("/history"), QStringLiteral("the workflow saved no image")));
}

void CSdClient::ListModels(
    const CSdSettings& settings,
    std::function<void(const QStringList& models, const QString& error)> answer) {
  if (m_running) {
    answer({}, QStringLiteral("a request is already running"));
    return;
  }
  Adopt(settings);
  const bool comfy = settings.kind == CSdSettings::Kind::ComfyUi;
  const QString route = comfy ? QStringLiteral("/object_info/CheckpointLoaderSimple")
                              : QStringLiteral("/sdapi/v1/sd-models");
  // Outside a run no idle timer watches: the request carries its own limit.
  m_transferTimeoutMs = settings.idleTimeoutMs;
  Request(
      "GET", route, QByteArray(), {},
      [answer, comfy, route](const QByteArray& body) {
        const QJsonDocument doc = QJsonDocument::fromJson(body);
        QStringList models;
        const QJsonArray list = comfy ? doc.object()
                                            .value(u"CheckpointLoaderSimple")
                                            .toObject()
                                            .value(u"input")
                                            .toObject()
                                            .value(u"required")
                                            .toObject()
                                            .value(u"ckpt_name")
                                            .toArray()
                                            .at(0)
                                            .toArray()
                                      : doc.array();
        for (const QJsonValue& v : list)
          models << (v.isString() ? v.toString() : v.toObject().value(u"title").toString());
        if (!comfy && !doc.isArray())
          answer({}, Unexpected(route, QStringLiteral("not a model list")));
        else
          answer(models, {});
      },
      [answer](const QString& error) { answer({}, error); });
  m_transferTimeoutMs = 0;
}
