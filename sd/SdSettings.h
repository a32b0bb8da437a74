// The connection to a Stable Diffusion server and the img2img parameters sent
// with every slice: settings section "StableDiffusion".
#pragma once

#include <QString>

class CSettingsStore;

struct CSdSettings {
  enum class Kind { WebUi, ComfyUi };

  QString address = QStringLiteral("http://127.0.0.1:7860");
  Kind kind = Kind::WebUi;
  QString prompt;
  QString negativePrompt;
  double denoise = 0.4;
  int steps = 25;
  double cfgScale = 7;
  QString sampler = QStringLiteral("Euler a");
  qint64 seed = -1;  // -1: the server picks one
  bool controlNet = false;
  QString controlNetModel;
  QString controlNetModule = QStringLiteral("none");
  double controlNetWeight = 1.0;
  QString workflow;  // ComfyUI: the API-format workflow file
  // Not in the dialog: how often progress is asked for, how long a server
  // may stay silent, the connect limit and the largest answer taken.
  int pollMs = 500;
  int idleTimeoutMs = 60000;
  int connectTimeoutMs = 5000;
  int answerLimitMB = 256;

  static QString DefaultAddress(Kind kind) {
    return kind == Kind::ComfyUi ? QStringLiteral("http://127.0.0.1:8188")
                                 : QStringLiteral("http://127.0.0.1:7860");
  }
  static CSdSettings Read(const CSettingsStore& store);
  void Write(CSettingsStore& store) const;

  // One parameter by its console name (prompt, negative, denoise, steps,
  // cfg, sampler, seed, workflow, controlnet, cn-model, cn-module,
  // cn-weight); false with a reason when the name or the value is bad.
  bool Set(const QString& key, const QString& value, QString& error);
  // An address the server can be reached at (http or https with a host).
  static bool ValidAddress(const QString& address);
};
