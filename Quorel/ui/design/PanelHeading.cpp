#include "PanelHeading.h"

#include "Studio.h"
#include "Symbols.h"

#include <QHBoxLayout>
#include <QLabel>

namespace quorel {

PanelHeading::PanelHeading(const QString& title, const QString& symbol, std::optional<QString> detail, QWidget* parent)
    : QWidget(parent), symbol_(new SymbolView(symbol, 13, Studio::violet(), this)), title_(new QLabel(title, this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(9);
    title_->setTextFormat(Qt::PlainText);
    title_->setFont(Studio::font(14, QFont::DemiBold));
    row->addWidget(symbol_, 0, Qt::AlignVCenter);
    row->addWidget(title_, 0, Qt::AlignVCenter);
    setDetail(std::move(detail));
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
}

QString PanelHeading::title() const { return title_->text(); }
QString PanelHeading::symbol() const { return symbol_->name(); }

std::optional<QString> PanelHeading::detail() const
{
    if (!detail_) return std::nullopt;
    return detail_->text();
}

void PanelHeading::setTitle(const QString& title) { title_->setText(title); }
void PanelHeading::setSymbol(const QString& symbol) { symbol_->setName(symbol); }

void PanelHeading::setDetail(std::optional<QString> detail)
{
    if (!detail) {
        delete detail_;
        detail_ = nullptr;
        return;
    }
    if (!detail_) {
        detail_ = new QLabel(this);
        detail_->setTextFormat(Qt::PlainText);
        detail_->setFont(Studio::font(11, QFont::Medium));
        QPalette p = detail_->palette();
        p.setColor(QPalette::WindowText, Studio::secondary());
        detail_->setPalette(p);
        static_cast<QHBoxLayout*>(layout())->addWidget(detail_, 0, Qt::AlignVCenter);
    }
    detail_->setText(*detail);
}

int PanelHeading::itemCount() const { return detail_ ? 3 : 2; }

}  // namespace quorel
