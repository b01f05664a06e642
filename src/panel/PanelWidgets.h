// SPDX-License-Identifier: MIT
#pragma once

#include <QPushButton>

// A push button whose caption wraps at blanks (and between CJK characters) when one line is
// too wide, as the design expects of the two-line-high "DISPLAY CLEAR".
class WrappingPushButton : public QPushButton
{
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    // Still readable; below this a caption would rather touch the frame.
    static constexpr qreal MinimumWrappedPoints = 7;
};

// A held button sees every press and release, whatever the mouse button or modifiers, and
// never turns them into clicks. Accepting the press keeps Qt's implicit grab on this button,
// so the release arrives here even when the pointer has left it.
class HeldPushButton final : public WrappingPushButton
{
    Q_OBJECT
public:
    using WrappingPushButton::WrappingPushButton;

    // A modal box swallows the release that would end the hold, so the hold ends here.
    void abandon();

Q_SIGNALS:
    void holdPressed();
    void holdReleased();

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    // The pressed look stays while the pointer wanders; QPushButton would toggle it.
    void mouseMoveEvent(QMouseEvent *e) override;
};

// A straight line between two points given in its parent's coordinates.
class LineWidget final : public QWidget
{
    Q_OBJECT
public:
    LineWidget(QPoint from, QPoint to, QColor colour, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QPoint m_from, m_to;
    QColor m_colour;
};
