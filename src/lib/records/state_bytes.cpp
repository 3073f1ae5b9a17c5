// A counter's state as bytes and back: one list of fields (fields()) that
// both directions walk, so the two cannot drift apart.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "records/counter_state.hpp"

namespace cyclewright {

namespace {

constexpr char kMagic[8] = {'c', 'w', 'r', 'f', 'l', 'o', 'w', '1'};

class Writer {
public:
    template <class... T>
    void operator()(T&... fields) {
        (put(fields), ...);
    }
    std::string bytes;

private:
    template <class T>
    void put(const T& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
    template <class T>
    void put(const std::vector<T>& v) {
        put(std::span<const T>(v));
    }
    template <class T>
    void put(const Column<T>& v) {
        put(std::span<const T>(v.begin(), v.size()));
    }
    template <class T>
    void put(std::span<const T> v) {
        put(static_cast<std::uint64_t>(v.size()));
        bytes.append(reinterpret_cast<const char*>(v.data()), v.size_bytes());
    }
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}
    template <class... T>
    void operator()(T&... fields) {
        (get(fields), ...);
    }
    bool done() const { return rest_.empty(); }

private:
    [[noreturn]] static void bad() { throw BadCountOption("not the state of a rainflow counter of this version"); }
    void take(void* out, std::size_t size) {
        if (size > rest_.size()) bad();
        std::memcpy(out, rest_.data(), size);
        rest_.remove_prefix(size);
    }
    template <class T>
    void get(T& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        take(&v, sizeof v);
    }
    template <class T>
    void get(std::vector<T>& v) {
        v.resize(size_of<T>());
        take(v.data(), v.size() * sizeof(T));
    }
    template <class T>
    void get(Column<T>& v) {
        const std::size_t size = size_of<T>();
        v.clear();
        take(v.extend(size), size * sizeof(T));
    }
    template <class T>
    std::size_t size_of() {
        std::uint64_t size = 0;
        get(size);
        if (size > rest_.size() / sizeof(T)) bad();
        return static_cast<std::size_t>(size);
    }
    std::string_view rest_;
};

// Every field of the state, in one order. The power sums are saved flushed.
template <class Archive>
void fields(Archive& ar, RainflowCounter::State& s, std::vector<double>& sums) {
    CountOptions& o = s.options;
    ar(o.residue, o.flat_tops, o.gate, o.exponents, o.range_edges, o.mean_edges, o.keep_cycles);
    ar(s.samples, s.finished, s.points.started_, s.points.prev_, s.points.cur_);
    ar(s.gate.started_, s.gate.trend_, s.gate.anchor_, s.gate.low_, s.gate.high_, s.gate.extreme_,
       s.gate.last_);
    ar(s.stack, sums, s.matrix.counts);
    CycleRecords& r = s.records;
    ar(r.range, r.mean, r.count, r.start, r.end, r.start_value, r.end_value, r.residue, r.residue_index);
}

}  // namespace

std::string RainflowCounter::save() {
    Writer w;
    w.bytes.append(kMagic, sizeof kMagic);
    std::vector<double> sums(state_->sums.sums().begin(), state_->sums.sums().end());
    fields(w, *state_, sums);
    return std::move(w.bytes);
}

RainflowCounter RainflowCounter::restore(std::string_view bytes) {
    const BadCountOption bad("not the state of a rainflow counter of this version");
    if (bytes.size() < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) throw bad;
    Reader reader(bytes.substr(sizeof kMagic));
    auto read = std::make_unique<State>(CountOptions{});
    std::vector<double> sums, counts;
    fields(reader, *read, sums);
    if (!reader.done()) throw bad;
    // A fresh counter of the saved options checks them and sizes its parts;
    // the saved state must fit them.
    RainflowCounter counter(read->options);
    State& s = *counter.state_;
    const CycleRecords& r = read->records;
    const std::size_t n = r.range.size();
    const bool consistent =
        sums.size() == s.options.exponents.size() && read->matrix.counts.size() == s.matrix.counts.size() &&
        read->stack.size() >= State::kSentinels && r.mean.size() == n && r.count.size() == n && r.start.size() == n &&
        r.end.size() == n && r.start_value.size() == n && r.end_value.size() == n &&
        r.residue.size() == r.residue_index.size() && (read->finished || r.residue.empty()) &&
        std::all_of(read->stack.begin(), read->stack.begin() + State::kSentinels,
                    [](const records::Point& p) { return std::isnan(p.value); });
    if (!consistent) throw bad;
    s.samples = read->samples;
    s.finished = read->finished;
    s.points.started_ = read->points.started_;
    s.points.prev_ = read->points.prev_;
    s.points.cur_ = read->points.cur_;
    s.gate = read->gate;
    s.gate.gate_ = s.options.gate;
    s.stack = std::move(read->stack);
    s.records = std::move(read->records);
    s.sums.stored_sums() = std::move(sums);
    s.matrix.counts = std::move(read->matrix.counts);
    return counter;
}

}  // namespace cyclewright
