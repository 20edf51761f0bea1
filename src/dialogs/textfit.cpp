#include "dialogs/textfit.h"

#include <algorithm>

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QWidget>

namespace dialogs {

namespace {

using Row = std::vector<QWidget*>;

/// The spacing of the rows as built, which the fitted rows keep at least.
struct Spacing {
    int edge = 0;                           ///< where the widest row ends
    std::vector<int> aboveRow;              ///< gap between a row and the row above it
    std::vector<std::vector<int>> leftOfIt; ///< gap between a widget and its left neighbour
    Row atEdge;                             ///< the widgets that end at the edge
};

int rightOf(const QWidget* widget) {
    return widget->x() + widget->width();
}

int bottomOf(const QWidget* widget) {
    return widget->y() + widget->height();
}

int topOf(const Row& row) {
    int top = row.front()->y();
    for (const QWidget* widget : row) {
        top = std::min(top, widget->y());
    }
    return top;
}

int bottomOf(const Row& row) {
    int bottom = 0;
    for (const QWidget* widget : row) {
        bottom = std::max(bottom, bottomOf(widget));
    }
    return bottom;
}

int rightEdgeOf(const WidgetRows& rows) {
    int edge = 0;
    for (const Row& row : rows) {
        edge = std::max(edge, rightOf(row.back()));
    }
    return edge;
}

Spacing measure(const WidgetRows& rows) {
    Spacing spacing;
    spacing.edge = rightEdgeOf(rows);
    for (size_t r = 0; r < rows.size(); ++r) {
        spacing.aboveRow.push_back(r == 0 ? 0 : topOf(rows[r]) - bottomOf(rows[r - 1]));
        spacing.leftOfIt.emplace_back();
        for (size_t w = 0; w < rows[r].size(); ++w) {
            QWidget* widget = rows[r][w];
            spacing.leftOfIt[r].push_back(w == 0 ? 0 : widget->x() - rightOf(rows[r][w - 1]));
            if (rightOf(widget) == spacing.edge) {
                spacing.atEdge.push_back(widget);
            }
        }
    }
    return spacing;
}

bool showsText(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return !label->text().isEmpty();
    }
    return qobject_cast<const QCheckBox*>(widget) != nullptr ||
           qobject_cast<const QRadioButton*>(widget) != nullptr;
}

/// As wide as the widget says its text needs, and as tall as a line of that text.
void growToText(QWidget* widget) {
    const QSize needed(widget->sizeHint().width(), widget->fontMetrics().lineSpacing());
    widget->resize(widget->size().expandedTo(needed));
}

/// Grows every text, then keeps each widget right of its neighbour and each row below the row
/// above by at least the spacing as built.
void growAndPush(const WidgetRows& rows, const Spacing& spacing) {
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t w = 0; w < rows[r].size(); ++w) {
            QWidget* widget = rows[r][w];
            if (showsText(widget)) {
                growToText(widget);
            }
            if (w > 0) {
                const int least = rightOf(rows[r][w - 1]) + spacing.leftOfIt[r][w];
                widget->move(std::max(widget->x(), least), widget->y());
            }
        }
        const int down = r == 0 ? 0 : bottomOf(rows[r - 1]) + spacing.aboveRow[r] - topOf(rows[r]);
        for (QWidget* widget : rows[r]) {
            widget->move(widget->x(), widget->y() + std::max(0, down));
        }
    }
}

} // namespace

void fitToText(QWidget* frame, const WidgetRows& rows) {
    const Spacing spacing = measure(rows);
    const QSize frameMargin(frame->width() - spacing.edge, frame->height() - bottomOf(rows.back()));
    QWidget* window = frame->parentWidget();
    const QSize windowMargin(window->width() - rightOf(frame), window->height() - bottomOf(frame));

    growAndPush(rows, spacing);
    const int edge = std::max(spacing.edge, rightEdgeOf(rows));
    for (QWidget* widget : spacing.atEdge) {
        widget->resize(edge - widget->x(), widget->height());
    }
    frame->resize(frame->size().expandedTo(QSize(edge, bottomOf(rows.back())) + frameMargin));
    window->resize(
        window->size().expandedTo(QSize(rightOf(frame), bottomOf(frame)) + windowMargin));
}

} // namespace dialogs
