// A document host for tests: records log lines and boxes, answers boxes from
// a queue, keeps a clipboard picture and a mask preview of its own.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <utility>
#include <vector>

#include "document/DocumentHost.h"
#include "image/ISImageEx.h"

class RecordingHost : public IDocumentHost {
 public:
  struct Box {
    QString text;
    Buttons buttons;
    Answer answer;
  };

  void AddOutputLine(const QString& text) override { log.append(text); }
  Answer MessageBox(const QString& text, Buttons buttons) override {
    Answer a;
    if (!answers.empty()) {
      a = answers.front();
      answers.pop_front();
    } else {
      a = buttons == Buttons::Ok      ? Answer::Ok
          : buttons == Buttons::YesNo ? Answer::No
                                      : Answer::Cancel;
    }
    boxes.push_back({text, buttons, a});
    return a;
  }
  void Repaint() override { ++repaints; }
  void TitleChanged(const QString& t) override { title = t; }
  bool SetClipboardImage(const CISImageEx& picture) override {
    if (!clipboardAvailable) return false;
    clipboard.CopyFrom(picture);
    return true;
  }
  void OpenFolder(const QString& path) override { openedFolders.append(path); }
  QString GetOpenFileName(const QString& title, const QString&, const QString&, const QString&,
                          const QString& initialFolder) override {
    dialogTitles.append(title);
    dialogFolders.append(initialFolder);
    return nextOpenPath;
  }
  QString GetSaveFileName(const QString& title, const QString&, const QString&,
                          const QString& proposedName, const QString& initialFolder) override {
    dialogTitles.append(title);
    dialogFolders.append(initialFolder);
    proposedNames.append(proposedName);
    return nextSavePath;
  }
  CISImageEx* MaskPreviewImage() override { return &preview; }
  int MaskPreviewWidth() const override { return previewWidth; }
  int MaskPreviewHeight() const override { return previewHeight; }
  void RedrawMaskPreview() override { ++previewRedraws; }
  bool WorkProgress(Work work, double done) override {
    progress.push_back({work, done});
    return !(cancelOpening && work == Work::Opening);
  }

  QStringList log;
  std::deque<Answer> answers;
  std::vector<Box> boxes;
  int repaints = 0;
  QString title;
  bool clipboardAvailable = true;
  CISImageEx clipboard;
  QStringList openedFolders;
  QString nextOpenPath;
  QString nextSavePath;
  QStringList dialogTitles;
  QStringList dialogFolders;
  QStringList proposedNames;
  CISImageEx preview;
  int previewWidth = 256;
  int previewHeight = 256;
  int previewRedraws = 0;
  std::vector<std::pair<Work, double>> progress;
  bool cancelOpening = false;
};
