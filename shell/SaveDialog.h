#pragma once

#include <string>

class QWidget;

namespace velm {

// The save dialog: a filter in "Description|Pattern" form and a file name.
struct TSaveDialog {
    std::string Filter; // empty: no filter
    std::string FileName;
    bool Execute(QWidget* Parent);
};

} // namespace velm
