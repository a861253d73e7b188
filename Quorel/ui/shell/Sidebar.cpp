#include "Sidebar.h"

#include "BoostModel.h"
#include "BrandIcon.h"
#include "SidebarBrandIcon.h"
#include "L10n.h"
#include "LanguageBinding.h"
#include "ProductInfo.h"
#include "StatusDot.h"
#include "FocusRing.h"
#include "Studio.h"
#include "Symbols.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace quorel {

namespace {

// Room around the link's label for the focus ring.
constexpr int linkPadding = 3;

QString rowSymbol(MainTab tab)
{
    switch (tab) {
    case MainTab::boost: return QStringLiteral("speaker.wave.3.fill");
    case MainTab::equalizer: return QStringLiteral("slider.vertical.3");
    case MainTab::automation: return QStringLiteral("wand.and.stars");
    case MainTab::output: return QStringLiteral("hifispeaker.fill");
    case MainTab::settings: return QStringLiteral("gearshape.fill");
    }
    return {};
}

QString websiteHost()
{
    const QUrl url = ProductInfo::websiteURL();
    return url.host().isEmpty() ? url.toString() : url.host();
}

// The rounded rectangle for an outline of `width` drawn inside `bounds`.
QPainterPath insideOutline(const QRectF& bounds, qreal radius, qreal width)
{
    QPainterPath path;
    const qreal half = width / 2;
    path.addRoundedRect(bounds.adjusted(half, half, -half, -half), radius - half, radius - half);
    return path;
}

}  // namespace

// ---- SidebarItem

SidebarItem::SidebarItem(MainTab tab, QWidget* parent) : SelectableButton(parent), tab_(tab)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

QSize SidebarItem::sizeHint() const { return {188, 28 + 16}; }

void SidebarItem::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    QPainterPath shape;
    shape.addRoundedRect(bounds, 12, 12);
    if (isSelected()) {
        QLinearGradient fill(bounds.topLeft(), bounds.topRight());
        fill.setColorAt(0, QColor(255, 255, 255, qRound(0.11 * 255)));
        fill.setColorAt(1, QColor(255, 255, 255, qRound(0.05 * 255)));
        painter.fillPath(shape, fill);
        painter.setPen(QPen(Studio::line(), 1));
        painter.drawPath(insideOutline(bounds, 12, 1));
    } else if (isHovered()) {
        painter.fillPath(shape, QColor(255, 255, 255, qRound(0.045 * 255)));
    }

    const QRectF chip(10, (bounds.height() - 28) / 2, 28, 28);
    QPainterPath chipShape;
    chipShape.addRoundedRect(chip, 8, 8);
    painter.fillPath(chipShape, isSelected() ? Studio::withOpacity(Studio::violet(), 0.16)
                                             : QColor(255, 255, 255, qRound(0.05 * 255)));
    Symbols::draw(painter, rowSymbol(tab_), chip.adjusted(7.5, 7.5, -7.5, -7.5),
                  isSelected() ? Studio::violet() : Studio::secondary());

    painter.setFont(Studio::font(13, isSelected() ? QFont::DemiBold : QFont::Medium));
    painter.setPen(isSelected() ? Studio::text() : Studio::secondary());
    const QRectF titleRect(chip.right() + 11, 0, bounds.width() - chip.right() - 11 - 10, bounds.height());
    painter.drawText(titleRect, Qt::AlignVCenter | Qt::AlignLeft, text());
    FocusRing::drawIfFocused(painter, *this, 12);
}

// ---- WebsiteLink

WebsiteLink::WebsiteLink(QWidget* parent) : QAbstractButton(parent)
{
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setText(websiteHost());
    connect(this, &QAbstractButton::clicked, this, [] { QDesktopServices::openUrl(ProductInfo::websiteURL()); });
}

QSize WebsiteLink::sizeHint() const
{
    const QFontMetrics metrics(Studio::font(12, QFont::Medium));
    return {2 * linkPadding + 12 + 5 + metrics.horizontalAdvance(text()) + 2, 2 * linkPadding + metrics.height() + 2};
}

void WebsiteLink::enterEvent(QEnterEvent* event)
{
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void WebsiteLink::leaveEvent(QEvent* event)
{
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void WebsiteLink::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = hovered_ ? Studio::text() : Studio::secondary();
    const qreal midY = height() / 2.0;
    Symbols::draw(painter, "globe", QRectF(linkPadding, midY - 6, 12, 12), colour);
    QFont font = Studio::font(12, QFont::Medium);
    font.setUnderline(hovered_);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(QRectF(linkPadding + 17, 0, width() - 17 - linkPadding, height()),
                     Qt::AlignVCenter | Qt::AlignLeft, text());
    FocusRing::drawIfFocused(painter, *this, 6);
}

// ---- SidebarSwitch

SidebarSwitch::SidebarSwitch(QWidget* parent) : QAbstractButton(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(40);
    setCursor(Qt::PointingHandCursor);
}

void SidebarSwitch::setOn(bool on)
{
    on_ = on;
    update();
}

QSize SidebarSwitch::sizeHint() const { return {184, 40}; }

void SidebarSwitch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    QPainterPath shape;
    shape.addRoundedRect(bounds, 12, 12);
    QColor foreground;
    if (on_) {
        painter.fillPath(shape, Studio::withOpacity(Studio::violet(), 0.11));
        painter.setPen(QPen(Studio::withOpacity(Studio::violet(), 0.30), 1));
        foreground = Studio::violet();
    } else {
        painter.fillPath(shape, Studio::gradient(bounds));
        painter.setPen(QPen(Studio::withOpacity(Studio::violet(), 0.70), 1));
        foreground = Studio::rgb(0.12, 0.08, 0.25);
    }
    painter.drawPath(insideOutline(bounds, 12, 1));

    const QFont font = Studio::font(12, QFont::DemiBold);
    const QFontMetricsF metrics(font);
    const qreal textWidth = metrics.horizontalAdvance(text());
    const qreal total = 14 + 9 + textWidth;
    qreal x = bounds.center().x() - total / 2;
    Symbols::draw(painter, "power", QRectF(x, bounds.center().y() - 7, 14, 14), foreground);
    x += 14 + 9;
    painter.setFont(font);
    painter.setPen(foreground);
    painter.drawText(QRectF(x, 0, textWidth + 2, bounds.height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    FocusRing::drawIfFocused(painter, *this, 12);
}

// ---- Sidebar

Sidebar::Sidebar(BoostModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    setFixedWidth(columnWidth);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // 1. Brand block.
    auto* brand = new QVBoxLayout;
    brand->setContentsMargins(20, 44, 6, 24);  // the name may use the right margin: DejaVu runs wider
    brand->setSpacing(10);
    auto* mark = new QHBoxLayout;
    mark->setSpacing(12);
    mark->addWidget(new SidebarBrandIcon(80, this));
    auto* name = new QLabel(QStringLiteral("Quorel"), this);
    QFont nameFont = Studio::font(25, QFont::DemiBold);
    nameFont.setLetterSpacing(QFont::AbsoluteSpacing, -0.6);
    name->setFont(nameFont);
    QPalette namePalette = name->palette();
    namePalette.setColor(QPalette::WindowText, Studio::text());
    name->setPalette(namePalette);
    mark->addWidget(name);
    mark->addStretch(1);
    brand->addLayout(mark);
    link_ = new WebsiteLink(this);
    brand->addWidget(link_, 0, Qt::AlignLeft);
    column->addLayout(brand);

    // 2. Navigation.
    auto* navigation = new QVBoxLayout;
    navigation->setContentsMargins(12, 0, 12, 0);
    navigation->setSpacing(4);
    for (MainTab tab : mainTab::allCases) {
        auto* item = new SidebarItem(tab, this);
        connect(item, &QAbstractButton::clicked, this, [this, tab] { model_.setTab(tab); });
        items_.push_back(item);
        navigation->addWidget(item);
    }
    column->addLayout(navigation);

    // 3. Flexible space.
    column->addSpacing(20);
    column->addStretch(1);

    // 4. Status line and switch.
    auto* power = new QVBoxLayout;
    power->setContentsMargins(14, 0, 14, 18);
    power->setSpacing(10);
    statusLine_ = new QWidget(this);
    auto* statusRow = new QHBoxLayout(statusLine_);
    statusRow->setContentsMargins(4, 0, 4, 0);
    statusRow->setSpacing(7);
    statusDot_ = new StatusDot(6, statusLine_);
    statusRow->addWidget(statusDot_, 0, Qt::AlignVCenter);
    // Wraps onto a second line where the words run longer (Portuguese).
    statusText_ = new QLabel(statusLine_);
    statusText_->setWordWrap(true);
    statusText_->setFont(Studio::font(11, QFont::Medium));
    QPalette statusPalette = statusText_->palette();
    statusPalette.setColor(QPalette::WindowText, Studio::secondary());
    statusText_->setPalette(statusPalette);
    statusRow->addWidget(statusText_, 1);
    power->addWidget(statusLine_);
    switch_ = new SidebarSwitch(this);
    power->addWidget(switch_);
    column->addLayout(power);
    connect(switch_, &QAbstractButton::clicked, this,
            [this] { model_.system().setActive(!model_.system().isActive()); });

    connect(&model_, &BoostModel::tabChanged, this, &Sidebar::refresh);
    connect(&model_, &BoostModel::processedChanged, this, &Sidebar::refresh);
    connect(&model_, &BoostModel::blindTestRunningChanged, this, &Sidebar::refresh);
    connect(&model_.system(), &SystemModel::activeChanged, this, &Sidebar::refresh);
    connect(&model_.system(), &SystemModel::statusChanged, this, &Sidebar::refresh);
    LanguageBinding::follow(this, &Sidebar::refresh);
    refresh();
}

QString Sidebar::statusText() const { return statusText_->text(); }
QColor Sidebar::statusDotColour() const { return statusDot_->colour(); }

void Sidebar::refresh()
{
    const AppLanguage language = L10n::language();
    int position = 1;
    for (SidebarItem* item : items_) {
        const QString title = mainTab::title(item->tab(), language);
        item->setText(title);
        item->setSelected(model_.tab() == item->tab());
        item->setToolTip(L10n::text("{0} · Ctrl+{1}", language, title, QString::number(position++)));
    }
    link_->setToolTip(L10n::text("Open website", language));
    link_->setAccessibleName(L10n::text("Open website", language));

    const bool active = model_.system().isActive();
    if (!active) {
        statusDot_->setColour(Studio::withOpacity(Studio::secondary(), 0.5));
        statusText_->setText(L10n::text("Off", language));
    } else {
        statusDot_->setColour(Studio::cyan());
        // A blind test hides which side plays: the line then always reads processed.
        statusText_->setText(model_.processed() || model_.blindTestRunning()
                                 ? L10n::text("Processing system audio", language)
                                 : L10n::text("Original sound", language));
    }
    statusLine_->setToolTip(model_.system().status().localized(language));
    switch_->setOn(active);
    switch_->setText(active ? L10n::text("Turn off", language) : L10n::text("Enable Boost", language));
    switch_->setToolTip(L10n::text("Turn system audio processing on or off · Ctrl+M", language));
    switch_->setAccessibleName(active ? L10n::text("Turn off system audio processing", language)
                                      : L10n::text("Enable system audio processing", language));
}

void Sidebar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, qRound(0.16 * 255)));
    painter.fillRect(QRectF(width() - 1, 0, 1, height()), Studio::line());
}

}  // namespace quorel
