#include "shell/SaveDialog.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>

namespace velm {

void ShowWholeColumns(QFileDialog& Dialog)
{
    auto* view = Dialog.findChild<QTreeView*>("treeView");
    if (!view)
        return;
    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < header->count(); ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
}

bool TSaveDialog::Execute(QWidget* Parent)
{
    QFileDialog dialog(Parent, "Save As");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // Saving replaces an existing file without asking, as Save does.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    // "Description|Pattern|..." pairs become the dialog's name filters.
    const QStringList parts = QString::fromStdString(Filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters << (parts[i].contains('(') ? parts[i] : parts[i] + " (" + parts[i + 1] + ")");
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    dialog.selectFile(QString::fromStdString(FileName));
    ShowWholeColumns(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    FileName = dialog.selectedFiles().constFirst().toStdString();
    return true;
}

} // namespace velm
