#include "platform/metafile/gdi_state.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace velm::gdi {

int boundedInt(double v) { return static_cast<int>(std::fabs(v) < (1 << 24) ? std::lround(v) : v > 0 ? (1 << 24) : v < 0 ? -(1 << 24) : 0); }

ObjectTable::ObjectTable(std::size_t capacity) : capacity_(std::min(capacity, kMaxCapacity)) {}

bool ObjectTable::put(std::size_t index, Object object)
{
    if (index >= capacity_)
        return false;
    if (index >= slots_.size())
        slots_.resize(index + 1);
    mark(index, !std::holds_alternative<std::monostate>(object));
    slots_[index] = std::move(object);
    return true;
}

std::optional<std::size_t> ObjectTable::add(Object object)
{
    // The first word with a free bit, found through the words that are full.
    for (std::size_t group = 0; group < fullWords_.size(); ++group) {
        if (fullWords_[group] == ~std::uint64_t{0})
            continue;
        const std::size_t word = group * 64 + static_cast<std::size_t>(std::countr_one(fullWords_[group]));
        const std::size_t index = word * 64 + static_cast<std::size_t>(std::countr_one(used_[word]));
        if (index >= capacity_)
            return std::nullopt;
        put(index, std::move(object));
        return index;
    }
    return std::nullopt;
}

const Object& ObjectTable::at(std::size_t index) const
{
    static const Object none;
    return index < slots_.size() ? slots_[index] : none;
}

bool ObjectTable::remove(std::size_t index)
{
    if (std::holds_alternative<std::monostate>(at(index)))
        return false;
    put(index, std::monostate{});
    return true;
}

void ObjectTable::mark(std::size_t index, bool used)
{
    const std::size_t word = index / 64;
    const std::uint64_t bit = std::uint64_t{1} << (index % 64);
    used_[word] = used ? used_[word] | bit : used_[word] & ~bit;
    const std::uint64_t full = std::uint64_t{1} << (word % 64);
    std::uint64_t& group = fullWords_[word / 64];
    group = used_[word] == ~std::uint64_t{0} ? group | full : group & ~full;
}

double Mapping::unitX() const { return identityWorld_ ? sx : sx * std::hypot(world_.m11, world_.m12); }
double Mapping::unitY() const { return identityWorld_ ? sy : sy * std::hypot(world_.m21, world_.m22); }

std::string PlayLog::where() const
{
    return "record " + std::to_string(index_) + " (" + (name_ ? std::string(name_) : "type " + std::to_string(type_)) +
           ") at byte " + std::to_string(offset_);
}

void PlayLog::damaged(std::string what)
{
    if (result_.ok) {
        result_.ok = false;
        result_.problem = std::move(what);
    } else {
        note(std::move(what));
    }
}

void PlayLog::note(std::string what)
{
    if (result_.notes.size() < kMaxNotes)
        result_.notes.push_back(std::move(what));
}

PlayResult PlayLog::finish()
{
    for (const auto& [type, count] : skipped_)
        note("skipped " + std::to_string(count) + " record" + (count == 1 ? "" : "s") + " of type " +
             std::to_string(type));
    return result_;
}

GdiState::GdiState(PageDevice& device, PlayLog& log, DcState initial, std::size_t objectCapacity)
    : device_(device), log_(log), state_(std::move(initial)), objects_(objectCapacity)
{
}

bool GdiState::select(const Object& object)
{
    if (const auto* pen = std::get_if<LogPen>(&object))
        state_.pen = *pen;
    else if (const auto* brush = std::get_if<LogBrush>(&object))
        state_.brush = *brush;
    else if (const auto* font = std::get_if<LogFont>(&object))
        state_.font = *font;
    else
        return false;
    return true;
}

void GdiState::save()
{
    if (saved_.size() >= kMaxSavedStates) {
        log_.recordNote("more than " + std::to_string(kMaxSavedStates) + " saved states; ignored");
        return;
    }
    saved_.push_back(state_);
}

void GdiState::restore(std::int64_t which)
{
    const auto depth = static_cast<std::int64_t>(saved_.size());
    const std::int64_t level = which < 0 ? depth + which : which - 1;
    if (which == 0 || level < 0 || level >= depth) {
        log_.recordNote("RESTOREDC " + std::to_string(which) + " with " + std::to_string(depth) +
                        " saved states ignored");
        return;
    }
    DcState restored = std::move(saved_[static_cast<std::size_t>(level)]);
    saved_.resize(static_cast<std::size_t>(level));
    const std::optional<RectF> clip = restored.clip;
    restored.clip = state_.clip;
    state_ = std::move(restored);
    setClip(clip);
}

void GdiState::setClip(std::optional<RectF> clip)
{
    if (clip == state_.clip)
        return;
    // A clip inside the current one is one more intersection on the device.
    const bool narrowing = clip && (!state_.clip || (clip->left >= state_.clip->left &&
                                                     clip->top >= state_.clip->top &&
                                                     clip->right <= state_.clip->right &&
                                                     clip->bottom <= state_.clip->bottom));
    state_.clip = clip;
    if (!narrowing)
        device_.resetClip();
    if (clip)
        device_.intersectClip(clip->left, clip->top, clip->right, clip->bottom);
}

RectF GdiState::intersect(const RectF& a, const RectF& b)
{
    RectF r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (r.right < r.left)
        r.right = r.left;
    if (r.bottom < r.top)
        r.bottom = r.top;
    return r;
}

void GdiState::textRun(PointF origin, TextRun& run) const
{
    run.text.clear();
    run.glyphIndex = false;
    run.source.text.clear();
    run.source.clusters.clear();
    run.source.rightToLeft = false;
    run.dx.clear();
    run.dy.clear();
    run.origin = origin;
    run.scaleX = state_.map.scaleX();
    run.scaleY = state_.map.scaleY();
    run.font = state_.font;
    run.font.height = boundedInt(state_.font.height * run.scaleY);
    run.font.width = boundedInt(state_.font.width * run.scaleX);
    run.color = state_.textColor;
    run.bkMode = state_.bkMode;
    run.bkColor = state_.bkColor;
    run.align = state_.align;
}

} // namespace velm::gdi
