#pragma once

#include "StudioButtonStyle.h"

#include <QAbstractButton>

namespace quorel {

// A push button drawn with StudioButtonStyle; optionally a symbol before (or instead of) the text.
class StudioButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit StudioButton(const QString& text = {}, bool prominent = false, QWidget* parent = nullptr);

    bool isProminent() const { return style_.prominent; }
    void setProminent(bool prominent);
    QString symbol() const { return symbol_; }
    void setSymbol(const QString& symbol);  // empty: no symbol
    StudioButtonStyle buttonStyle() const { return style_; }
    StudioButtonLook currentLook() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    StudioButtonStyle style_;
    QString symbol_;
};

}  // namespace quorel
