#include "window/SizeSwitch.h"

#include <QHBoxLayout>
#include <QSettings>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>

#include "common/Dialogs.h"
#include "views/Shell.h"
#include "window/MainWindow.h"

namespace vd::gui {

namespace {
const QString kMeasureKey = QStringLiteral("View/SizeOnDisk");

QString FolderLine(const TDirNode& d) {
  return DisplayText(d.FullPath()) + QStringLiteral(" (") + QString::fromLatin1(ReadErrorText(d.ReadError())) +
         QStringLiteral(")");
}
}  // namespace

QString UnreadableText(int64_t n) {
  if (n == 1) return QStringLiteral("1 folder could not be read");
  return QStringLiteral("%1 folders could not be read").arg(qlonglong(n));
}

TSizeSwitch::TSizeSwitch(TfrmMain& window) : QObject(&window), W(window) {
  FButton = new QToolButton(W.Panel4);
  FButton->setObjectName(QStringLiteral("btnSizeOnDisk"));
  FButton->setCheckable(true);
  FButton->setAutoRaise(true);
  FButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
  // As wide as its neighbours, on two lines: the toolbar fits an 800-pixel window.
  FButton->setFixedSize(60, 41);
  FButton->setFocusPolicy(Qt::NoFocus);
  if (auto* tb = qobject_cast<QHBoxLayout*>(W.Panel4->layout())) {
    // Before the stretch that pushes the site and About buttons right.
    int at = tb->count();
    for (int i = 0; i < tb->count(); ++i)
      if (tb->itemAt(i)->spacerItem()) at = i;
    tb->insertWidget(at, FButton);
  }
  SetMeasure(TSizeMeasure::Apparent);  // the captions
  connect(FButton, &QToolButton::clicked, this, [this] { Toggle(); });
  auto* key = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), &W);
  key->setContext(Qt::WindowShortcut);
  connect(key, &QShortcut::activated, this, [this] {
    if (FButton->isEnabled()) Toggle();
  });

  FIndicator = new QToolButton(W.panStatus);
  FIndicator->setObjectName(QStringLiteral("btnUnreadable"));
  FIndicator->setAutoRaise(true);
  FIndicator->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  FIndicator->setIcon(W.style()->standardIcon(QStyle::SP_MessageBoxWarning));
  FIndicator->setFocusPolicy(Qt::TabFocus);
  FIndicator->hide();
  connect(FIndicator, &QToolButton::clicked, this, [this] { ListUnreadable(); });
}

void TSizeSwitch::Toggle() {
  SetMeasure(FMeasure == TSizeMeasure::Apparent ? TSizeMeasure::OnDisk : TSizeMeasure::Apparent);
}

void TSizeSwitch::SetMeasure(TSizeMeasure m) {
  const bool changed = m != FMeasure;
  FMeasure = m;
  FButton->setChecked(m == TSizeMeasure::OnDisk);
  const QString caption = m == TSizeMeasure::OnDisk ? QStringLiteral("Size on disk") : QStringLiteral("Apparent size");
  FButton->setText(m == TSizeMeasure::OnDisk ? QStringLiteral("Size on\ndisk") : QStringLiteral("Apparent\nsize"));
  FButton->setAccessibleName(caption);
  FButton->setToolTip(caption + QStringLiteral(" (Ctrl+D): counts files by their length, or by the space they take on the disk"));
  if (W.FRememberLayout) SaveSetting();
  if (!changed || !W.S.FRoot || W.IsScanRunning() || !W.btnScan->isEnabled()) return;
  W.RebuildResults();
}

void TSizeSwitch::ApplyMeasure() { ShowIndicator(ApplySizeMeasure(W.S.FRoot.get(), FMeasure)); }

void TSizeSwitch::ShowIndicator(const TTreeFacts& facts) {
  if (facts.UnreadableFolders == 0) {
    FIndicator->hide();
    return;
  }
  FIndicator->setText(UnreadableText(facts.UnreadableFolders));
  FIndicator->setToolTip(FolderLine(*facts.FirstUnreadable));
  FIndicator->adjustSize();
  FIndicator->show();
  W.PositionProgressBar();
}

void TSizeSwitch::ListUnreadable() {
  if (!W.S.FRoot) return;
  QString text = FIndicator->text() + QStringLiteral(":\n");
  int shown = 0;
  std::vector<const TDirNode*> pending{W.S.FRoot.get()};
  while (!pending.empty() && shown < 30) {
    const TDirNode* n = pending.back();
    pending.pop_back();
    if (n->ReadError() != TReadError::None) {
      text += QStringLiteral("\n") + FolderLine(*n);
      ++shown;
    }
    for (size_t i = n->Children.size(); i-- > 0;) pending.push_back(n->Children[i]);
  }
  if (!pending.empty()) text += QStringLiteral("\n...");
  ShowErrorMessage(&W, text);
}

void TSizeSwitch::UpdateButtons(bool busy) { FButton->setEnabled(!busy); }

void TSizeSwitch::Position(int statusWidth, int progressLeft) {
  if (!FIndicator->isVisible()) return;
  const int w = std::min(FIndicator->sizeHint().width(), std::max(0, progressLeft - 8));
  FIndicator->setGeometry(std::max(0, progressLeft - 8 - w), 1, w, W.panStatus->height() - 2);
  (void)statusWidth;
  FIndicator->raise();
}

void TSizeSwitch::ResultsCleared() { FIndicator->hide(); }

void TSizeSwitch::RestoreSetting() {
  QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("vorndale"), QStringLiteral("window"));
  SetMeasure(settings.value(kMeasureKey, false).toBool() ? TSizeMeasure::OnDisk : TSizeMeasure::Apparent);
}

void TSizeSwitch::SaveSetting() const {
  QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("vorndale"), QStringLiteral("window"));
  settings.setValue(kMeasureKey, FMeasure == TSizeMeasure::OnDisk);
}

}  // namespace vd::gui
