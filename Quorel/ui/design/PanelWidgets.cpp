#include "PanelWidgets.h"

#include "Decoration.h"
#include "Studio.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>

#include <algorithm>

namespace quorel::PanelWidgets {

QLabel* label(int pixelSize, QFont::Weight weight, const QColor& colour, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setFont(Studio::font(pixelSize, weight));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

QLabel* monoLabel(int pixelSize, QFont::Weight weight, const QColor& colour, QWidget* parent)
{
    QLabel* made = label(pixelSize, weight, colour, parent);
    QFont font = made->font();
    font.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
    made->setFont(font);
    return made;
}

QWidget* hairline(Qt::Orientation orientation, QWidget* parent)
{
    auto* line = new QWidget(parent);
    if (orientation == Qt::Vertical)
        line->setFixedWidth(1);
    else
        line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, Studio::line());
    line->setPalette(palette);
    return line;
}

QPushButton* textButton(int pixelSize, QFont::Weight weight, const QColor& colour, QWidget* parent)
{
    auto* button = new QPushButton(parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFont(Studio::font(pixelSize, weight));
    button->setStyleSheet(
        QStringLiteral("QPushButton { border: none; background: transparent; color: %1; padding: 0px; }"
                       "QPushButton:disabled { color: %2; }")
            .arg(colour.name(QColor::HexArgb), Studio::withOpacity(colour, 0.4).name(QColor::HexArgb)));
    return button;
}

void setTracking(QLabel* label, qreal pixels)
{
    QFont font = label->font();
    font.setLetterSpacing(QFont::AbsoluteSpacing, pixels);
    label->setFont(font);
}

void setReading(QLabel* label, const QString& text)
{
    if (label->text() == text) return;
    // A QLabel's hint never falls below its minimum size, so the text is measured on a hidden
    // twin inside the label (same font and style; hidden, it lays nothing out).
    static const QString twinName = QStringLiteral("quorel-reading-measure");
    auto* twin = label->findChild<QLabel*>(twinName, Qt::FindDirectChildrenOnly);
    if (!twin) {
        twin = new QLabel(label);
        twin->setObjectName(twinName);
        twin->hide();
        Decoration::mark(twin);
    }
    twin->setText(text);
    label->setText(text);
    const QSize hint = twin->sizeHint();
    if (label->minimumSize() != hint || label->maximumSize() != hint) label->setFixedSize(hint);
}

void fitAlert(QMessageBox* box)
{
    // The window manager's title bar holds its buttons and an icon beside the title.
    constexpr int titleBarChrome = 200;
    constexpr int widest = 520;
    auto* message = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
    if (!message) message = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!message) return;
    const QFontMetrics textMetrics(message->font());
    int sentence = 0;
    static const QRegularExpression sentenceEnd(QStringLiteral("(?<=[.!?…])\\s+"));
    for (const QString& part : message->text().split(sentenceEnd, Qt::SkipEmptyParts))
        sentence = std::max(sentence, textMetrics.horizontalAdvance(part));
    QFont titleFont = box->font();
    titleFont.setBold(true);
    const int title = QFontMetrics(titleFont).horizontalAdvance(box->windowTitle()) + titleBarChrome;
    const QScreen* screen = box->screen() ? box->screen() : QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().width() - 80 : widest;
    // The title is measured against the whole box: the label sits inside its margins (about 48).
    message->setMinimumWidth(std::clamp(std::max(sentence, title - 48), 0, std::min(widest, room)));
}

}  // namespace quorel::PanelWidgets
