#include "sd/SdSettings.h"

#include <QUrl>
#include <cmath>

#include "document/SettingsStore.h"

namespace {

const QString kSection = QStringLiteral("StableDiffusion");

QString Text(const CSettingsStore& s, const char* key, const QString& fallback) {
  return s.GetProfileString(kSection, QLatin1StringView(key), fallback);
}
// Fractions are stored as text: the store keeps only strings and integers.
double Number(const CSettingsStore& s, const char* key, double fallback) {
  bool ok = false;
  const double v = Text(s, key, QString()).toDouble(&ok);
  return ok && std::isfinite(v) ? v : fallback;
}
int Int(const CSettingsStore& s, const char* key, int fallback) {
  return s.GetProfileInt(kSection, QLatin1StringView(key), fallback);
}

bool ParseNumber(const QString& text, double low, double high, double& out) {
  bool ok = false;
  const double v = text.toDouble(&ok);
  if (!ok || !std::isfinite(v) || v < low || v > high) return false;
  out = v;
  return true;
}

}  // namespace

CSdSettings CSdSettings::Read(const CSettingsStore& s) {
  CSdSettings r;
  r.kind = Text(s, "Kind", QString()) == u"comfyui" ? Kind::ComfyUi : Kind::WebUi;
  r.address = Text(s, "Address", DefaultAddress(r.kind));
  r.prompt = Text(s, "Prompt", r.prompt);
  r.negativePrompt = Text(s, "NegativePrompt", r.negativePrompt);
  r.denoise = std::clamp(Number(s, "Denoise", r.denoise), 0.0, 1.0);
  r.steps = std::clamp(Int(s, "Steps", r.steps), 1, 500);
  r.cfgScale = Number(s, "CfgScale", r.cfgScale);
  r.sampler = Text(s, "Sampler", r.sampler);
  r.seed = Text(s, "Seed", QStringLiteral("-1")).toLongLong();
  r.controlNet = Int(s, "ControlNet", 0) != 0;
  r.controlNetModel = Text(s, "ControlNetModel", r.controlNetModel);
  r.controlNetModule = Text(s, "ControlNetModule", r.controlNetModule);
  r.controlNetWeight = Number(s, "ControlNetWeight", r.controlNetWeight);
  r.workflow = Text(s, "Workflow", r.workflow);
  r.pollMs = std::max(10, Int(s, "PollMs", r.pollMs));
  r.idleTimeoutMs = std::max(100, Int(s, "IdleTimeoutMs", r.idleTimeoutMs));
  r.connectTimeoutMs = std::max(100, Int(s, "ConnectTimeoutMs", r.connectTimeoutMs));
  r.answerLimitMB = std::clamp(Int(s, "AnswerLimitMB", r.answerLimitMB), 1, 256);
  return r;
}

void CSdSettings::Write(CSettingsStore& s) const {
  auto text = [&](const char* key, const QString& v) {
    s.WriteProfileString(kSection, QLatin1StringView(key), v);
  };
  text("Kind", kind == Kind::ComfyUi ? QStringLiteral("comfyui") : QStringLiteral("webui"));
  text("Address", address);
  text("Prompt", prompt);
  text("NegativePrompt", negativePrompt);
  text("Denoise", QString::number(denoise));
  s.WriteProfileInt(kSection, QStringLiteral("Steps"), steps);
  text("CfgScale", QString::number(cfgScale));
  text("Sampler", sampler);
  text("Seed", QString::number(seed));
  s.WriteProfileInt(kSection, QStringLiteral("ControlNet"), controlNet ? 1 : 0);
  text("ControlNetModel", controlNetModel);
  text("ControlNetModule", controlNetModule);
  text("ControlNetWeight", QString::number(controlNetWeight));
  text("Workflow", workflow);
}

bool CSdSettings::Set(const QString& key, const QString& value, QString& error) {
  bool ok = true;
  if (key == u"prompt") {
    prompt = value;
  } else if (key == u"negative") {
    negativePrompt = value;
  } else if (key == u"sampler") {
    sampler = value;
  } else if (key == u"workflow") {
    workflow = value;
  } else if (key == u"cn-model") {
    controlNetModel = value;
  } else if (key == u"cn-module") {
    controlNetModule = value;
  } else if (key == u"denoise") {
    ok = ParseNumber(value, 0, 1, denoise);
    if (!ok) error = QStringLiteral("denoise must be a number from 0 to 1");
  } else if (key == u"cfg") {
    ok = ParseNumber(value, 1, 30, cfgScale);
    if (!ok) error = QStringLiteral("cfg must be a number from 1 to 30");
  } else if (key == u"cn-weight") {
    ok = ParseNumber(value, 0, 2, controlNetWeight);
    if (!ok) error = QStringLiteral("cn-weight must be a number from 0 to 2");
  } else if (key == u"steps") {
    const int v = value.toInt(&ok);
    ok = ok && v >= 1 && v <= 150;
    if (ok) steps = v;
    if (!ok) error = QStringLiteral("steps must be a whole number from 1 to 150");
  } else if (key == u"seed") {
    const qint64 v = value.toLongLong(&ok);
    ok = ok && v >= -1;
    if (ok) seed = v;
    if (!ok) error = QStringLiteral("seed must be -1 or a whole number from 0");
  } else if (key == u"controlnet") {
    ok = value == u"on" || value == u"off";
    if (ok) controlNet = value == u"on";
    if (!ok) error = QStringLiteral("controlnet on or off");
  } else {
    ok = false;
    error = QStringLiteral("unknown setting: ") + key;
  }
  return ok;
}

bool CSdSettings::ValidAddress(const QString& address) {
  const QUrl url(address, QUrl::StrictMode);
  return url.isValid() && (url.scheme() == u"http" || url.scheme() == u"https") &&
         !url.host().isEmpty();
}
