#pragma once

#include <vector>

class QWidget;

namespace dialogs {

/// The widgets of a frame row by row from the top, each row from left to right.
using WidgetRows = std::vector<std::vector<QWidget*>>;

/// Grows the labels, check boxes and radio buttons of `frame` so that no text is cut, and the
/// frame and its parent with them. The present geometry is the least that anything keeps: a
/// widget moves right only as far as its left neighbour grew, a row down only as far as the
/// rows above it grew, and the widgets that reach the right edge stay at it as it moves.
/// `frame` has a parent, and every row holds a widget.
void fitToText(QWidget* frame, const WidgetRows& rows);

} // namespace dialogs
