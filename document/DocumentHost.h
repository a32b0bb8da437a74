// What the document needs from the user interface. The desktop application
// implements it with widgets; the console front end and the tests without.
#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

class CISImageEx;

class IDocumentHost {
 public:
  enum class Buttons { Ok, YesNo, YesNoCancel };
  enum class Answer { Ok, Yes, No, Cancel };

  virtual ~IDocumentHost() = default;

  // Appends one line to the output log, exactly as given.
  virtual void AddOutputLine(const QString& text) = 0;
  // The application's standard modal message box, caption "Quiltor".
  virtual Answer MessageBox(const QString& text, Buttons buttons) = 0;
  // Asks every view to redraw.
  virtual void Repaint() = 0;
  // Since the display-refresh flag was last clear, the main image's pixels
  // changed only inside rect (main-image pixels; may be empty). A view whose
  // display copy is otherwise current may update just that part and clear
  // the flag; one that does nothing rebuilds its copy from the flag.
  virtual void MainImageChanged(const QRect& rect) { (void)rect; }
  // The document's title changed (the window caption follows it).
  virtual void TitleChanged(const QString& title) { (void)title; }
  // The document's modified flag changed (the window caption marks it).
  virtual void ModifiedChanged(bool modified) { (void)modified; }
  // What Undo and Redo would do changed (the Edit menu follows it).
  virtual void UndoHistoryChanged() {}
  // Opening or saving the main image reports how far it is, 0 to 1, and a
  // negative value once it has ended. Returning false asks an opening to
  // stop: the document then stays as it was.
  enum class Work { Opening, Saving };
  virtual bool WorkProgress(Work work, double done) {
    (void)work;
    (void)done;
    return true;
  }
  // The picture's campaign ledger was read: the Slicer's history becomes its
  // slices' names, oldest first, a merged one marked with a check mark.
  virtual void LedgerOpened(const QStringList& history) { (void)history; }

  // Puts a 24-bit RGB picture on the clipboard; false when the clipboard is
  // not available (nothing is sent then).
  virtual bool SetClipboardImage(const CISImageEx& picture) = 0;
  // Opens a folder in the platform's file browser.
  virtual void OpenFolder(const QString& path) = 0;

  // File dialogs; an empty result means the dialog was cancelled. Filters are
  // in the "Name (*.a)|*.a|" form; initialFolder may be empty.
  virtual QString GetOpenFileName(const QString& title, const QString& filter,
                                  const QString& defaultExtension, const QString& proposedName,
                                  const QString& initialFolder) = 0;
  virtual QString GetSaveFileName(const QString& title, const QString& filter,
                                  const QString& defaultExtension, const QString& proposedName,
                                  const QString& initialFolder) = 0;

  // The Merger pane's mask preview: its picture, its display size and a redraw.
  virtual CISImageEx* MaskPreviewImage() = 0;
  virtual int MaskPreviewWidth() const = 0;
  virtual int MaskPreviewHeight() const = 0;
  virtual void RedrawMaskPreview() = 0;
};
