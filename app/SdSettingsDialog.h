// Tools > "Stable Diffusion...": the server, its kind, the img2img parameters,
// the ControlNet unit and the ComfyUI workflow; "Test connection" asks the
// server for its models. OK stores everything in "StableDiffusion".
#pragma once

#include <QDialog>
#include <memory>

#include "sd/SdSettings.h"

class CSdClient;
class CSettingsStore;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class CSdSettingsDialog : public QDialog {
 public:
  CSdSettingsDialog(CSettingsStore& store, QWidget* parent = nullptr);
  ~CSdSettingsDialog() override;

  CSdSettings Values() const;
  // The answer of the last "Test connection" (models or the error).
  QString TestResult() const;
  void TestConnection();

 protected:
  void accept() override;

 private:
  // Enables what the chosen kind uses; the other kind's default address
  // follows the kind.
  void KindChanged();

  CSettingsStore& m_store;
  CSdSettings m_loaded;
  std::unique_ptr<CSdClient> m_client;
  QLineEdit* m_address;
  QComboBox* m_kind;
  QLineEdit* m_prompt;
  QLineEdit* m_negative;
  QDoubleSpinBox* m_denoise;
  QSpinBox* m_steps;
  QDoubleSpinBox* m_cfg;
  QLineEdit* m_sampler;
  QLineEdit* m_seed;
  QCheckBox* m_controlNet;
  QLineEdit* m_cnModel;
  QLineEdit* m_cnModule;
  QDoubleSpinBox* m_cnWeight;
  QLineEdit* m_workflow;
  QPushButton* m_test;
  QLabel* m_result;
};
