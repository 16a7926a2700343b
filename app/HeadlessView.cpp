#include "app/MainView.h"

void HeadlessView::ResetContent()
{
    entries_.ResetContent();
    selected_ = -1;
}

void HeadlessView::InsertString(int index, const QString& name)
{
    entries_.InsertString(index, name);
}

std::optional<QString> HeadlessView::SelectedDeviceText() const
{
    if (selected_ < 0 || selected_ >= entries_.names.size())
        return std::nullopt;
    return entries_.names.at(selected_);
}
