// The "Categories" dialog: the 64 category names of the open library, in four columns of sixteen, each a
// data-aware edit of one column of the category-name table. A name holds at most 40 characters.
#pragma once

#include <QDialog>
#include <array>

class QPushButton;

namespace vemla {

class DBLineEdit;
class Tdb;

class TForm3 : public QDialog {
  Q_OBJECT
 public:
  // The data module must outlive the dialog.
  explicit TForm3(Tdb& db, QWidget* parent = nullptr);
  ~TForm3() override;

  // The edit of category k (1 ... 64), named RzDBLineEditk.
  DBLineEdit* edit(int k) const { return edits_[static_cast<size_t>(k - 1)]; }
  QPushButton* BitBtn1;  // OK

 public slots:
  // When the dialog closes, however it is closed: the names typed are posted.
  void FormClose();

 protected:
  void done(int result) override;

 private:
  Tdb& db_;
  std::array<DBLineEdit*, 64> edits_{};
};

}  // namespace vemla
