#include "TrayController.h"

#include "BoostModel.h"
#include "Brand.h"
#include "L10n.h"
#include "LanguageBinding.h"
#include "MenuBarPanel.h"
#include "Studio.h"
#include "TrayPanelWindow.h"

#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>

namespace quorel {

namespace {

// Tray hosts do not tint template images: the colour icon reads on light and dark panels.
QIcon trayIcon()
{
    QIcon icon;
    for (int side : {16, 22, 24, 32, 48, 64}) {
        if (std::optional<QPixmap> pixmap = Brand::image(side))
            icon.addPixmap(*pixmap);
        else
            icon.addPixmap(QPixmap::fromImage(Brand::renderColourIcon(side)));
    }
    return icon;
}

}  // namespace

TrayController::TrayController(BoostModel& model, QObject* parent) : QObject(parent), model_(model)
{
    menu_ = new QMenu();
    open_ = menu_->addAction(QString());
    quit_ = menu_->addAction(QString());
    connect(open_, &QAction::triggered, this, &TrayController::openRequested);
    connect(quit_, &QAction::triggered, this, [this] {
        model_.system().shutdown();
        emit quitRequested();
    });
    LanguageBinding::follow(this, &TrayController::retranslate);
    retranslate();
}

TrayController::~TrayController()
{
    hideIcon();
    delete popup_;
    delete menu_;
}

void TrayController::showIcon()
{
    hideIcon();
    icon_ = new QSystemTrayIcon(trayIcon(), this);
    icon_->setToolTip(QStringLiteral("Quorel"));
    icon_->setContextMenu(menu_);
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) togglePanel();
    });
    icon_->show();
}

void TrayController::hideIcon()
{
    hidePanel();
    delete icon_;
    icon_ = nullptr;
}

void TrayController::retranslate()
{
    const AppLanguage language = L10n::language();
    open_->setText(L10n::text("Open {0}", language, QStringLiteral("Quorel")));
    quit_->setText(L10n::text("Quit", language));
}

void TrayController::togglePanel()
{
    if (popup_ && popup_->isVisible())
        hidePanel();
    else
        showPanel();
}

void TrayController::showPanel()
{
    if (!popup_) {
        panel_ = new MenuBarPanel(model_);
        popup_ = new TrayPanelWindow(panel_);
        connect(panel_, &MenuBarPanel::openRequested, this, [this] {
            hidePanel();
            emit openRequested();
        });
        connect(panel_, &MenuBarPanel::quitRequested, this, &TrayController::quitRequested);
    }
    popup_->adjustSize();
    const QSize size = popup_->sizeHint();
    QRect anchor = icon_ ? icon_->geometry() : QRect();
    if (!anchor.isValid()) anchor = QRect(QCursor::pos(), QSize(1, 1));
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    // Below the icon on a top panel, above it on a bottom panel; kept on the screen.
    int y = anchor.center().y() < area.center().y() ? anchor.bottom() + 4 : anchor.top() - size.height() - 4;
    int x = anchor.center().x() - size.width() / 2;
    x = std::clamp(x, area.left(), std::max(area.left(), area.right() - size.width()));
    y = std::clamp(y, area.top(), std::max(area.top(), area.bottom() - size.height()));
    popup_->move(x, y);
    popup_->show();
    popup_->raise();
    popup_->activateWindow();
}

void TrayController::hidePanel()
{
    if (popup_) popup_->hide();
}

}  // namespace quorel
