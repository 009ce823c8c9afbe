// Containers whose elements are shared between copies until one of them is written: copying,
// comparing with a copy and freeing cost the same whatever the size.
//
// A drag on a 20,000-stroke document copies every stroke of the result several times per event (the
// edit, the undo entry, the export texts); with SharedVector the copies share the points and segments
// of the strokes they leave unchanged.
//
// Reading never copies, whether the object is const or not: element access and iteration are
// read-only. Writing is explicit: edit() (the elements as a std::vector to change) and the
// changing members (push_back, insert, erase, clear, ...) first make the elements this object's
// own when another copy still holds them. A reference or iterator obtained through edit() is valid
// only until this object is copied or written again.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ostrel {

template <class T>
class SharedVector {
public:
    using Vector = std::vector<T>;
    using value_type = T;
    using size_type = typename Vector::size_type;
    using difference_type = typename Vector::difference_type;
    using reference = typename Vector::reference;
    using const_reference = typename Vector::const_reference;
    using iterator = typename Vector::iterator;  // what the changing members return
    using const_iterator = const T*;
    using const_reverse_iterator = std::reverse_iterator<const T*>;

    SharedVector() noexcept = default;
    SharedVector(Vector elements) : data_(adopt(std::move(elements))) { look(); }  // NOLINT: converts like a vector
    SharedVector(std::initializer_list<T> elements)
        : data_(elements.size() == 0 ? nullptr : std::make_shared<Vector>(elements)) {
        look();
    }
    SharedVector(size_type count, const T& value) : SharedVector(Vector(count, value)) {}
    explicit SharedVector(size_type count) : SharedVector(Vector(count)) {}
    template <class InputIt, class = typename std::iterator_traits<InputIt>::iterator_category>
    SharedVector(InputIt first, InputIt last) : SharedVector(Vector(first, last)) {}

    SharedVector(const SharedVector&) = default;
    SharedVector& operator=(const SharedVector&) = default;
    SharedVector(SharedVector&& other) noexcept
        : data_(std::move(other.data_)), first_(other.first_), size_(other.size_) {
        other.forget();
    }
    SharedVector& operator=(SharedVector&& other) noexcept {
        if (this != &other) {
            data_ = std::move(other.data_);
            first_ = other.first_;
            size_ = other.size_;
            other.forget();
        }
        return *this;
    }
    ~SharedVector() = default;

    SharedVector& operator=(Vector elements) {
        data_ = adopt(std::move(elements));
        look();
        return *this;
    }
    SharedVector& operator=(std::initializer_list<T> elements) { return *this = SharedVector(elements); }

    // Reading. The elements' place and count are kept beside the reference to them, so reading a
    // stroke's points costs one step through memory, as with a plain vector.
    [[nodiscard]] const Vector& vector() const noexcept { return data_ ? *data_ : emptyVector(); }
    operator const Vector&() const noexcept { return vector(); }  // NOLINT: reads like a vector
    [[nodiscard]] size_type size() const noexcept { return looked() ? size_ : vector().size(); }
    [[nodiscard]] bool empty() const noexcept { return size() == 0; }
    [[nodiscard]] size_type capacity() const noexcept { return vector().capacity(); }
    [[nodiscard]] const T* data() const noexcept { return looked() ? first_ : vector().data(); }
    [[nodiscard]] const T& operator[](size_type i) const noexcept { return data()[i]; }
    [[nodiscard]] const T& at(size_type i) const { return vector().at(i); }
    [[nodiscard]] const T& front() const noexcept { return data()[0]; }
    [[nodiscard]] const T& back() const noexcept { return data()[size() - 1]; }
    [[nodiscard]] const_iterator begin() const noexcept { return data(); }
    [[nodiscard]] const_iterator end() const noexcept { return data() + size(); }
    [[nodiscard]] const_iterator cbegin() const noexcept { return begin(); }
    [[nodiscard]] const_iterator cend() const noexcept { return end(); }
    [[nodiscard]] const_reverse_iterator rbegin() const noexcept { return const_reverse_iterator(end()); }
    [[nodiscard]] const_reverse_iterator rend() const noexcept { return const_reverse_iterator(begin()); }

    /// True when both hold the very same elements (then they are equal without looking at them).
    [[nodiscard]] bool sharesElementsWith(const SharedVector& other) const noexcept { return data_ == other.data_; }

    // Writing: the elements become this object's own first.
    /// The elements, this object's own, to change as a std::vector. Until the next change through
    /// a member below (or an assignment), reads go through the vector itself.
    Vector& edit() {
        own();
        size_ = kUnlooked;
        return *data_;
    }

    void clear() noexcept {
        data_.reset();
        forget();
    }
    void reserve(size_type count) {
        change([&](Vector& v) { v.reserve(count); });
    }
    void resize(size_type count) {
        change([&](Vector& v) { v.resize(count); });
    }
    void resize(size_type count, const T& value) {
        change([&](Vector& v) { v.resize(count, value); });
    }
    void push_back(const T& value) {
        change([&](Vector& v) { v.push_back(value); });
    }
    void push_back(T&& value) {
        change([&](Vector& v) { v.push_back(std::move(value)); });
    }
    template <class... Args>
    T& emplace_back(Args&&... args) {
        change([&](Vector& v) { v.emplace_back(std::forward<Args>(args)...); });
        return data_->back();
    }
    void pop_back() {
        change([](Vector& v) { v.pop_back(); });
    }
    // A position may point into elements shared until the call: it is carried over by its offset.
    template <class... Args>
    iterator insert(const_iterator position, Args&&... args) {
        const auto offset = position - begin();
        iterator at;
        change([&](Vector& v) { at = v.insert(v.cbegin() + offset, std::forward<Args>(args)...); });
        return at;
    }
    iterator erase(const_iterator position) { return erase(position, position + 1); }
    iterator erase(const_iterator first, const_iterator last) {
        const auto from = first - begin();
        const auto to = last - begin();
        iterator at;
        change([&](Vector& v) { at = v.erase(v.cbegin() + from, v.cbegin() + to); });
        return at;
    }
    template <class... Args>
    void assign(Args&&... args) {
        change([&](Vector& v) { v.assign(std::forward<Args>(args)...); });
    }
    void swap(SharedVector& other) noexcept {
        data_.swap(other.data_);
        std::swap(first_, other.first_);
        std::swap(size_, other.size_);
    }

    friend bool operator==(const SharedVector& a, const SharedVector& b) {
        if (a.data_ == b.data_) return true;
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }
    friend bool operator==(const SharedVector& a, const Vector& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }

private:
    static constexpr size_type kUnlooked = static_cast<size_type>(-1);

    static std::shared_ptr<Vector> adopt(Vector elements) {
        if (elements.empty() && elements.capacity() == 0) return nullptr;
        return std::make_shared<Vector>(std::move(elements));
    }
    static const Vector& emptyVector() noexcept {
        static const Vector none;
        return none;
    }

    [[nodiscard]] bool looked() const noexcept { return size_ != kUnlooked; }
    /// Notes where the elements are and how many.
    void look() noexcept {
        first_ = data_ ? data_->data() : nullptr;
        size_ = data_ ? data_->size() : 0;
    }
    void forget() noexcept {
        first_ = nullptr;
        size_ = 0;
    }
    void own() {
        if (!data_) {
            data_ = std::make_shared<Vector>();
        } else if (data_.use_count() > 1) {
            data_ = std::make_shared<Vector>(*data_);
        }
    }
    template <class Change>
    void change(const Change& changeElements) {
        own();
        size_ = kUnlooked;  // a throwing change leaves reads on the vector itself
        changeElements(*data_);
        look();
    }

    std::shared_ptr<Vector> data_;
    const T* first_ = nullptr;  // data_->data() while looked()
    size_type size_ = 0;        // data_->size(), or kUnlooked after edit()
};

/// A std::unordered_map shared between copies until one of them is written (lookups by key; the
/// layer caches of the canvas keep one per stroke attribute and update a copy after an edit).
template <class Key, class Value>
class SharedMap {
public:
    using Map = std::unordered_map<Key, Value>;
    using key_type = Key;
    using mapped_type = Value;
    using value_type = typename Map::value_type;
    using size_type = typename Map::size_type;
    using const_iterator = typename Map::const_iterator;
    using iterator = const_iterator;

    SharedMap() noexcept = default;
    SharedMap(Map entries) : data_(entries.empty() ? nullptr : std::make_shared<Map>(std::move(entries))) {}  // NOLINT

    // Reading.
    [[nodiscard]] const Map& map() const noexcept { return data_ ? *data_ : emptyMap(); }
    [[nodiscard]] size_type size() const noexcept { return data_ ? data_->size() : 0; }
    [[nodiscard]] bool empty() const noexcept { return size() == 0; }
    [[nodiscard]] const_iterator find(const Key& key) const { return map().find(key); }
    [[nodiscard]] bool contains(const Key& key) const { return map().find(key) != map().end(); }
    [[nodiscard]] size_type count(const Key& key) const { return map().count(key); }
    [[nodiscard]] const Value& at(const Key& key) const { return map().at(key); }
    [[nodiscard]] const_iterator begin() const noexcept { return map().begin(); }
    [[nodiscard]] const_iterator end() const noexcept { return map().end(); }

    // Writing: the entries become this object's own first.
    Map& edit() {
        if (!data_) {
            data_ = std::make_shared<Map>();
        } else if (data_.use_count() > 1) {
            data_ = std::make_shared<Map>(*data_);
        }
        return *data_;
    }
    Value& operator[](const Key& key) { return edit()[key]; }
    void reserve(size_type count) { edit().reserve(count); }
    size_type erase(const Key& key) { return data_ && data_->count(key) != 0 ? edit().erase(key) : 0; }
    void clear() noexcept { data_.reset(); }

    friend bool operator==(const SharedMap& a, const SharedMap& b) { return a.data_ == b.data_ || a.map() == b.map(); }

private:
    static const Map& emptyMap() noexcept {
        static const Map none;
        return none;
    }

    std::shared_ptr<Map> data_;
};

}  // namespace ostrel
