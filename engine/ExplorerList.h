// The tracker's window list: records in the order they were added.
#pragma once

#include "Explorer.h"

#include <list>
#include <memory>

namespace vx {

class ExplorerList {
  public:
    using Records = std::list<std::unique_ptr<Explorer>>;
    using Position = Records::iterator;

    Explorer* Append(std::unique_ptr<Explorer> record);
    // The record holding this very browser reference, or null.
    Explorer* Find(IDispatch* browser) const;
    // Takes the record at pos out of the list and hands it over; pos then
    // names the next record.
    std::unique_ptr<Explorer> Remove(Position& pos);
    void Clear() { records_.clear(); }

    Position begin() { return records_.begin(); }
    Position end() { return records_.end(); }
    size_t Count() const { return records_.size(); }
    bool Contains(const Explorer* record) const;

  private:
    Records records_;
};

} // namespace vx
