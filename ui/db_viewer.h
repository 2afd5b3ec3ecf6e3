#pragma once
// The IP assignment file viewer "DB Viewer": the valid entries of the file,
// numbered, exactly as the multiple IP setting run will use them. It only
// reads the file.
#include <QDialog>
#include <string>

class CCellListCtrl;

enum : int { IDC_DB_LIST = 1046 };

class CDBViewer : public QDialog {
  Q_OBJECT
 public:
  // path is kept as given (at most 255 bytes are used).
  explicit CDBViewer(const std::string& path, QWidget* parent = nullptr);
  CCellListCtrl* List() const { return list_; }
  // Builds the caption, columns and rows; exec() runs it first.
  void InitDialog();
  int exec() override;

 private:
  std::string path_;
  CCellListCtrl* list_;
  bool initialised_ = false;
};
