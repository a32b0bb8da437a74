#ifdef QUILTOR_HAS_DOCUMENT
#include "tools/cli/ConsoleHost.h"

#include <algorithm>
#include <cstdio>

namespace {
void WriteLine(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
  std::fputc('\n', stdout);
}

QString AnswerName(IDocumentHost::Answer answer) {
  switch (answer) {
    case IDocumentHost::Answer::Ok: return QStringLiteral("ok");
    case IDocumentHost::Answer::Yes: return QStringLiteral("yes");
    case IDocumentHost::Answer::No: return QStringLiteral("no");
    case IDocumentHost::Answer::Cancel: return QStringLiteral("cancel");
  }
  return {};
}

bool Offers(IDocumentHost::Buttons buttons, IDocumentHost::Answer answer) {
  using A = IDocumentHost::Answer;
  switch (buttons) {
    case IDocumentHost::Buttons::Ok: return answer == A::Ok;
    case IDocumentHost::Buttons::YesNo: return answer == A::Yes || answer == A::No;
    case IDocumentHost::Buttons::YesNoCancel: return answer != A::Ok;
  }
  return false;
}
}  // namespace

void CConsoleHost::AddOutputLine(const QString& text) { WriteLine(text); }

void CConsoleHost::LedgerOpened(const QStringList& history) {
  for (const QString& name : history) Note(QStringLiteral("history: ") + name);
}

void CConsoleHost::Note(const QString& text) { WriteLine(QStringLiteral("# ") + text); }

IDocumentHost::Answer CConsoleHost::MessageBox(const QString& text, Buttons buttons) {
  Answer answer = buttons == Buttons::Ok            ? Answer::Ok
                  : buttons == Buttons::YesNoCancel ? Answer::Cancel
                                                    : Answer::No;
  // A queued answer the box does not offer is used up and the default given.
  if (!m_answers.empty()) {
    if (Offers(buttons, m_answers.front())) answer = m_answers.front();
    m_answers.pop_front();
  }
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\\n"));
  shown.replace(u'\n', QStringLiteral("\\n"));
  Note(QStringLiteral("box: ") + shown + QStringLiteral(" -> ") + AnswerName(answer));
  return answer;
}

bool CConsoleHost::WorkProgress(Work work, double done) {
  if (!m_showProgress) return true;
  const int tenths = done < 0 ? -1 : int(done * 10);
  if (tenths > m_progressShown)
    Note(QStringLiteral("%1 %2%")
             .arg(work == Work::Opening ? QStringLiteral("opening") : QStringLiteral("saving"))
             .arg(tenths * 10));
  m_progressShown = tenths;
  return true;
}

void CConsoleHost::OpenFolder(const QString& path) { Note(QStringLiteral("open: ") + path); }
#endif
