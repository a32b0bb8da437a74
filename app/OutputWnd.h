// The Output pane: the system's log, one line per action, in a list that
// only grows during a run.
#pragma once

#include <QAbstractListModel>
#include <QDockWidget>
#include <QListView>
#include <vector>

class QMenu;
class QTabWidget;

// The lines of the log. A plain vector keeps appending and row lookup
// constant in cost over tens of thousands of lines.
class COutputModel : public QAbstractListModel {
  Q_OBJECT
 public:
  using QAbstractListModel::QAbstractListModel;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  void Append(const QString& line);

 private:
  std::vector<QString> m_lines;
};

class COutputList : public QListView {
  Q_OBJECT
 public:
  explicit COutputList(QWidget* parent = nullptr);
  void AddLine(const QString& text);
  int LineCount() const;
  QString Line(int index) const;
  int CurrentLine() const;
  // The context menu's commands by id (Copy, Clear, Hide).
  QAction* Action(int id) const;
  QMenu* ContextMenu() const { return m_menu; }

 signals:
  void HideRequested();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void Copy();
  void Clear();
  void FollowNewest();
  COutputModel* m_model;
  int m_current = -1;
  bool m_followPending = false;
  QMenu* m_menu = nullptr;
};

class COutputWnd : public QDockWidget {
  Q_OBJECT
 public:
  explicit COutputWnd(QWidget* parent = nullptr);
  COutputList* List() { return m_list; }
  void AddOutputLine(const QString& text) { m_list->AddLine(text); }

 private:
  QTabWidget* m_tabs;
  COutputList* m_list;
};
