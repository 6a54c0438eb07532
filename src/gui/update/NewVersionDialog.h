// The dialog that offers, or demands, the new version and downloads its
// installer (Windows) or opens the site's download page (elsewhere).
#pragma once

#include <QDialog>

class QLabel;
class QNetworkReply;
class QProgressBar;
class QPushButton;

namespace vd {

class TfrmNewVersion : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmNewVersion(QWidget* parent = nullptr);

  // 1 while the dialog shows, 0 once the program must stop; read by the
  // start-up sequence after the dialog has closed.
  int Tag = 0;

  QLabel* Label1 = nullptr;
  QLabel* VirtualImage1 = nullptr;
  QPushButton* btUpdateNow = nullptr;
  QPushButton* btCancel = nullptr;
  QProgressBar* ProgressBar1 = nullptr;

  void FormShow();
  void FormClose();
  void btUpdateNowClick();
  void btCancelClick();
  // The download's progress report; a non-empty result ends the transfer
  // with that text as its error.
  QString DownloadWork(QNetworkReply* sender, qint64 count);

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  // "Update Now" where the program cannot install itself.
  void OpenDownloadPage();

  bool FDownloading = false;
};

}  // namespace vd
