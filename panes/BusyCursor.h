// The busy cursor while a file is read or written. Scopes nest; a dialog or
// message box shown inside one suspends it, so the user never sees a busy
// cursor over a question.
#pragma once

#include <QCursor>
#include <QGuiApplication>

class CBusyCursor {
 public:
  CBusyCursor() {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    ++Depth();
  }
  ~CBusyCursor() {
    --Depth();
    QGuiApplication::restoreOverrideCursor();
  }
  CBusyCursor(const CBusyCursor&) = delete;
  CBusyCursor& operator=(const CBusyCursor&) = delete;

  static bool Active() { return Depth() > 0; }

  // Shows the normal cursor for the lifetime of the object.
  class Suspend {
   public:
    Suspend() : m_active(Active()) {
      if (m_active) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~Suspend() {
      if (m_active) QGuiApplication::restoreOverrideCursor();
    }
    Suspend(const Suspend&) = delete;
    Suspend& operator=(const Suspend&) = delete;

   private:
    bool m_active;
  };

 private:
  static int& Depth() {
    static int depth = 0;
    return depth;
  }
};
