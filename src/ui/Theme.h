#pragma once

#include <QColor>
#include <QString>

class QLabel;
class QWidget;
class QFrame;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace quindle {
enum class MovePhase;
}

// Shared look of every window: colours come from the desktop palette, except the four status
// colours, which mean the same on a light and a dark theme.
namespace quindle::ui {

enum class Tone { Neutral, Good, Warning, Bad };

QColor statusColor(Tone tone); // green, orange, yellow, red; the palette's text colour for Neutral

// A bold heading a step larger than the body text.
QLabel *heading(const QString &text, QWidget *parent = nullptr);
// Body text that wraps at the width it is given.
QLabel *paragraph(const QString &text, QWidget *parent = nullptr);
// Secondary text: the palette's placeholder colour, word-wrapped.
QLabel *caption(const QString &text, QWidget *parent = nullptr);
// A push button named for screen readers by its text, the hint its description and tool tip.
QPushButton *pushButton(const QString &text, QWidget *parent, const QString &hint = {});
// A rounded panel with the palette's alternate base colour, for cards.
QFrame *card(QWidget *parent = nullptr);
// Text in the status colour of `tone`.
void setTone(QLabel *label, Tone tone);

// The colour a move's phase is shown in: done green, failed red, waiting for its drive orange.
Tone toneFor(MovePhase phase);

// A frameless, vertically scrolling column of rows: `rows` receives them.
struct RowList {
    QScrollArea *scroll = nullptr;
    QWidget *content = nullptr;
    QVBoxLayout *rows = nullptr;
};
RowList rowList(QWidget *parent, int spacing);

// Names a control for screen readers (and the tests that find it), with an optional longer hint.
void name(QWidget *widget, const QString &accessibleName, const QString &description = {});

// Lengths in the widget's own font, so that a layout grows with the desktop's font size:
// `columns` average characters wide, `lines` lines tall.
int textWidth(const QWidget *widget, int columns);
int textHeight(const QWidget *widget, int lines);

// Disabled controls are drawn at 40 % opacity, whatever the style does by itself.
void dimWhenDisabled(QWidget *widget);

} // namespace quindle::ui
