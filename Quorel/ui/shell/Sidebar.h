#pragma once

#include "MainTab.h"
#include "SelectableButton.h"

#include <QAbstractButton>
#include <QWidget>

#include <vector>

class QLabel;

namespace quorel {

class BoostModel;
class StatusDot;

// One navigation row: the page's symbol on a chip and its title; selected when it is the shown
// page (and then announced as selected to assistive technologies).
class SidebarItem : public SelectableButton {
    Q_OBJECT
public:
    SidebarItem(MainTab tab, QWidget* parent = nullptr);

    MainTab tab() const { return tab_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MainTab tab_;
};

// The web site link under the product name: a globe and the site's host, underlined and
// brighter while the pointer is over it.
class WebsiteLink : public QAbstractButton {
    Q_OBJECT
public:
    explicit WebsiteLink(QWidget* parent = nullptr);

    bool isHovered() const { return hovered_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool hovered_ = false;
};

// The processing switch at the bottom of the sidebar.
class SidebarSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit SidebarSwitch(QWidget* parent = nullptr);

    bool isOn() const { return on_; }
    void setOn(bool on);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool on_ = false;
};

// The fixed-width column at the left of the main window: the brand, the web site link, one row
// per page, and the processing switch with a one-line status. Mirrors the root model's page and
// the system model's activity; a row click sets the page, the switch asks the system model.
class Sidebar : public QWidget {
    Q_OBJECT
public:
    static constexpr int columnWidth = 212;

    explicit Sidebar(BoostModel& model, QWidget* parent = nullptr);

    const std::vector<SidebarItem*>& items() const { return items_; }
    SidebarSwitch* powerSwitch() const { return switch_; }
    WebsiteLink* websiteLink() const { return link_; }
    QString statusText() const;
    QColor statusDotColour() const;
    QWidget* statusLine() const { return statusLine_; }

    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    BoostModel& model_;
    WebsiteLink* link_;
    std::vector<SidebarItem*> items_;
    QWidget* statusLine_;
    StatusDot* statusDot_;
    QLabel* statusText_;
    SidebarSwitch* switch_;
};

}  // namespace quorel
