#pragma once
// The views a user has left, newest last, so "戻る" (Backspace) walks back
// through every zoom, pan and fit. A view equal to the newest is not kept
// twice; the oldest go once kMaxViews are kept.

#include <cstddef>
#include <deque>
#include <optional>

namespace mirantos::trace {

template <typename TView> class TZoomHistory {
public:
    static constexpr size_t kMaxViews = 200;

    // The view being left.
    void Push(const TView& v)
    {
        if (!views_.empty() && views_.back() == v)
            return;
        views_.push_back(v);
        if (views_.size() > kMaxViews)
            views_.pop_front();
    }
    // The view to return to; none when nothing was left.
    std::optional<TView> Pop()
    {
        if (views_.empty())
            return std::nullopt;
        TView v = views_.back();
        views_.pop_back();
        return v;
    }
    bool Empty() const { return views_.empty(); }
    size_t Size() const { return views_.size(); }
    void Clear() { views_.clear(); }

private:
    std::deque<TView> views_;
};

} // namespace mirantos::trace
