#include "HeadlessView.h"

void HeadlessView::ResetContent()
{
    names_.clear();
    selected_ = -1;
}

void HeadlessView::InsertString(int index, const QString& name)
{
    names_.insert(qBound(0, index, int(names_.size())), name);
}

std::optional<QString> HeadlessView::SelectedDeviceText() const
{
    if (selected_ < 0 || selected_ >= names_.size())
        return std::nullopt;
    return names_.at(selected_);
}
