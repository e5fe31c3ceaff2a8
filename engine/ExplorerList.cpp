#include "ExplorerList.h"

namespace vx {

Explorer* ExplorerList::Append(std::unique_ptr<Explorer> record) {
    records_.push_back(std::move(record));
    return records_.back().get();
}

Explorer* ExplorerList::Find(IDispatch* browser) const {
    if (!browser) return nullptr;
    for (const auto& record : records_)
        if (record->Dispatch() == browser) return record.get();
    return nullptr;
}

std::unique_ptr<Explorer> ExplorerList::Remove(Position& pos) {
    std::unique_ptr<Explorer> record = std::move(*pos);
    pos = records_.erase(pos);
    return record;
}

bool ExplorerList::Contains(const Explorer* record) const {
    for (const auto& r : records_)
        if (r.get() == record) return true;
    return false;
}

} // namespace vx
