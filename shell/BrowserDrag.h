// Drags inside the browser window: a split bar moved to resize the lists,
// or a file-list item carried to a viewer page or a print button.
#pragma once

#include <string>

class QDropEvent;
class QMimeData;
class QWidget;

namespace velm {

// What a drag of the browser carries: a split bar or a file-list item.
enum class TDragSource { None, Panel1, Panel2, FileItem };

// The data of a browser drag: a split bar, or a file-list item with its file.
QMimeData* BrowserDragData(TDragSource Source, const std::string& File = {});
// What a browser drag carries, and the file for an item; None for anything else.
TDragSource DragSourceOf(const QMimeData* mime, std::string* File = nullptr);
// Runs a drag of what from source until it is dropped or given up.
void StartDrag(QWidget* source, TDragSource what, const std::string& File = {});
// Accepts the drop the event proposes, or refuses it.
void AnswerDrag(QDropEvent* event, bool accepted);

} // namespace velm
