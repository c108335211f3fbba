#pragma once

#include <string>

class QFileDialog;
class QWidget;

namespace velm {

// The save dialog: a filter in "Description|Pattern" form and a file name.
struct TSaveDialog {
    std::string Filter; // empty: no filter
    std::string FileName;
    bool Execute(QWidget* Parent);
};

// The detail view of a file dialog shows its size, type and date columns
// whole, at any font and scale; the name column takes the rest.
void ShowWholeColumns(QFileDialog& Dialog);

} // namespace velm
