#include "sd/SdSettings.h"

#include <QUrl>
#include <cmath>

#include "document/SettingsStore.h"

namespace {

// Section "StableDiffusion"; the defaults are the members' start values.
template <class T>
constexpr SettingsValue<T> Sd(const char* entry) {
  return {"StableDiffusion", entry};
}
constexpr auto kKind = Sd<QString>("Kind");
constexpr auto kAddress = Sd<QString>("Address");
constexpr auto kPrompt = Sd<QString>("Prompt");
constexpr auto kNegativePrompt = Sd<QString>("NegativePrompt");
constexpr auto kDenoise = Sd<double>("Denoise");
constexpr auto kSteps = Sd<int>("Steps");
constexpr auto kCfgScale = Sd<double>("CfgScale");
constexpr auto kSampler = Sd<QString>("Sampler");
// Kept as text, a number outside int's range among them.
constexpr SettingsValue<QString> kSeed{"StableDiffusion", "Seed", "-1"};
constexpr auto kControlNet = Sd<int>("ControlNet");
constexpr auto kControlNetModel = Sd<QString>("ControlNetModel");
constexpr auto kControlNetModule = Sd<QString>("ControlNetModule");
constexpr auto kControlNetWeight = Sd<double>("ControlNetWeight");
constexpr auto kWorkflow = Sd<QString>("Workflow");
constexpr auto kPollMs = Sd<int>("PollMs");
constexpr auto kIdleTimeoutMs = Sd<int>("IdleTimeoutMs");
constexpr auto kConnectTimeoutMs = Sd<int>("ConnectTimeoutMs");
constexpr auto kAnswerLimitMB = Sd<int>("AnswerLimitMB");

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
  r.kind = ReadSetting(s, kKind) == u"comfyui" ? Kind::ComfyUi : Kind::WebUi;
  r.address = ReadSetting(s, kAddress, DefaultAddress(r.kind));
  r.prompt = ReadSetting(s, kPrompt, r.prompt);
  r.negativePrompt = ReadSetting(s, kNegativePrompt, r.negativePrompt);
  r.denoise = std::clamp(ReadSetting(s, kDenoise, r.denoise), 0.0, 1.0);
  r.steps = std::clamp(ReadSetting(s, kSteps, r.steps), 1, 500);
  r.cfgScale = ReadSetting(s, kCfgScale, r.cfgScale);
  r.sampler = ReadSetting(s, kSampler, r.sampler);
  r.seed = ReadSetting(s, kSeed).toLongLong();
  r.controlNet = ReadSetting(s, kControlNet, 0) != 0;
  r.controlNetModel = ReadSetting(s, kControlNetModel, r.controlNetModel);
  r.controlNetModule = ReadSetting(s, kControlNetModule, r.controlNetModule);
  r.controlNetWeight = ReadSetting(s, kControlNetWeight, r.controlNetWeight);
  r.workflow = ReadSetting(s, kWorkflow, r.workflow);
  r.pollMs = std::max(10, ReadSetting(s, kPollMs, r.pollMs));
  r.idleTimeoutMs = std::max(100, ReadSetting(s, kIdleTimeoutMs, r.idleTimeoutMs));
  r.connectTimeoutMs = std::max(100, ReadSetting(s, kConnectTimeoutMs, r.connectTimeoutMs));
  r.answerLimitMB = std::clamp(ReadSetting(s, kAnswerLimitMB, r.answerLimitMB), 1, 256);
  return r;
}

void CSdSettings::Write(CSettingsStore& s) const {
  WriteSetting(s, kKind,
               kind == Kind::ComfyUi ? QStringLiteral("comfyui") : QStringLiteral("webui"));
  WriteSetting(s, kAddress, address);
  WriteSetting(s, kPrompt, prompt);
  WriteSetting(s, kNegativePrompt, negativePrompt);
  WriteSetting(s, kDenoise, denoise);
  WriteSetting(s, kSteps, steps);
  WriteSetting(s, kCfgScale, cfgScale);
  WriteSetting(s, kSampler, sampler);
  WriteSetting(s, kSeed, QString::number(seed));
  WriteSetting(s, kControlNet, controlNet ? 1 : 0);
  WriteSetting(s, kControlNetModel, controlNetModel);
  WriteSetting(s, kControlNetModule, controlNetModule);
  WriteSetting(s, kControlNetWeight, controlNetWeight);
  WriteSetting(s, kWorkflow, workflow);
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
