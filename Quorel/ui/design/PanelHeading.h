#pragma once

#include <QWidget>

#include <optional>

class QLabel;

namespace quorel {

class SymbolView;

// The heading row of a card: symbol (13 px, violet), title (14 px semibold, primary text) and,
// only when present, a detail (11 px medium, secondary), spaced 9 apart and centred vertically.
// Title and detail are shown exactly as given (the caller renders them through L10n).
class PanelHeading : public QWidget {
    Q_OBJECT

public:
    PanelHeading(const QString& title, const QString& symbol, std::optional<QString> detail = std::nullopt,
                 QWidget* parent = nullptr);

    QString title() const;
    QString symbol() const;
    std::optional<QString> detail() const;
    void setTitle(const QString& title);
    void setSymbol(const QString& symbol);
    void setDetail(std::optional<QString> detail);

    // The items in the row: 2 without a detail, 3 with one (even an empty one).
    int itemCount() const;
    SymbolView* symbolView() const { return symbol_; }
    QLabel* titleLabel() const { return title_; }
    QLabel* detailLabel() const { return detail_; }  // null without a detail

private:
    SymbolView* symbol_;
    QLabel* title_;
    QLabel* detail_ = nullptr;
};

}  // namespace quorel
