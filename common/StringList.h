#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quelsor {

// An ordered list of texts, duplicates allowed, addressed by index from 0.
using StringList = std::vector<std::string>;

// Text comparison that ignores the case of ASCII letters, as the lists' search by text does.
bool SameText(std::string_view a, std::string_view b);

// Index of the first entry equal to text without regard to letter case, or -1.
int IndexOfText(const StringList& list, std::string_view text);

// A string list whose entries may carry an object that the list owns.
template <class T> class OwningStringList {
public:
    struct Entry {
        std::string text;
        std::unique_ptr<T> object;
    };

    int Add(std::string text, std::unique_ptr<T> object = nullptr)
    {
        entries_.push_back(Entry { std::move(text), std::move(object) });
        return static_cast<int>(entries_.size()) - 1;
    }
    int Count() const { return static_cast<int>(entries_.size()); }
    bool ValidIndex(int index) const { return index >= 0 && index < Count(); }
    const std::string& Text(int index) const
    {
        return entries_.at(static_cast<std::size_t>(index)).text;
    }
    T* Object(int index) const { return entries_.at(static_cast<std::size_t>(index)).object.get(); }
    int IndexOf(std::string_view text) const
    {
        for (int i = 0; i < Count(); ++i) {
            if (SameText(entries_[static_cast<std::size_t>(i)].text, text))
                return i;
        }
        return -1;
    }
    void Clear() { entries_.clear(); }

    auto begin() { return entries_.begin(); }
    auto end() { return entries_.end(); }
    auto begin() const { return entries_.begin(); }
    auto end() const { return entries_.end(); }

private:
    std::vector<Entry> entries_;
};

} // namespace quelsor
