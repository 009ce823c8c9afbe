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
    using iterator = typename Vector::iterator;
    using const_iterator = typename Vector::const_iterator;
    using reverse_iterator = typename Vector::reverse_iterator;
    using const_reverse_iterator = typename Vector::const_reverse_iterator;

    SharedVector() noexcept = default;
    SharedVector(Vector elements) : data_(adopt(std::move(elements))) {}  // NOLINT: converts like a vector
    SharedVector(std::initializer_list<T> elements) : data_(adopt(Vector(elements))) {}
    SharedVector(size_type count, const T& value) : data_(adopt(Vector(count, value))) {}
    explicit SharedVector(size_type count) : data_(adopt(Vector(count))) {}
    template <class InputIt, class = typename std::iterator_traits<InputIt>::iterator_category>
    SharedVector(InputIt first, InputIt last) : data_(adopt(Vector(first, last))) {}

    SharedVector& operator=(Vector elements) {
        data_ = adopt(std::move(elements));
        return *this;
    }
    SharedVector& operator=(std::initializer_list<T> elements) { return *this = Vector(elements); }

    // Reading.
    [[nodiscard]] const Vector& vector() const noexcept { return data_ ? *data_ : emptyVector(); }
    operator const Vector&() const noexcept { return vector(); }  // NOLINT: reads like a vector
    [[nodiscard]] size_type size() const noexcept { return data_ ? data_->size() : 0; }
    [[nodiscard]] bool empty() const noexcept { return size() == 0; }
    [[nodiscard]] size_type capacity() const noexcept { return vector().capacity(); }
    [[nodiscard]] const T& operator[](size_type i) const noexcept { return (*data_)[i]; }
    [[nodiscard]] const T& at(size_type i) const { return vector().at(i); }
    [[nodiscard]] const T& front() const noexcept { return data_->front(); }
    [[nodiscard]] const T& back() const noexcept { return data_->back(); }
    [[nodiscard]] const T* data() const noexcept { return vector().data(); }
    [[nodiscard]] const_iterator begin() const noexcept { return vector().begin(); }
    [[nodiscard]] const_iterator end() const noexcept { return vector().end(); }
    [[nodiscard]] const_iterator cbegin() const noexcept { return begin(); }
    [[nodiscard]] const_iterator cend() const noexcept { return end(); }
    [[nodiscard]] const_reverse_iterator rbegin() const noexcept { return vector().rbegin(); }
    [[nodiscard]] const_reverse_iterator rend() const noexcept { return vector().rend(); }
    [[nodiscard]] const_reverse_iterator crbegin() const noexcept { return rbegin(); }
    [[nodiscard]] const_reverse_iterator crend() const noexcept { return rend(); }

    /// True when both hold the very same elements (then they are equal without looking at them).
    [[nodiscard]] bool sharesElementsWith(const SharedVector& other) const noexcept {
        return data_ == other.data_;
    }

    // Writing: the elements become this object's own first.
    /// The elements, this object's own, to change as a std::vector.
    Vector& edit() {
        if (!data_) {
            data_ = std::make_shared<Vector>();
        } else if (data_.use_count() > 1) {
            data_ = std::make_shared<Vector>(*data_);
        }
        return *data_;
    }

    void clear() noexcept { data_.reset(); }
    void reserve(size_type count) { edit().reserve(count); }
    void resize(size_type count) { edit().resize(count); }
    void resize(size_type count, const T& value) { edit().resize(count, value); }
    void push_back(const T& value) { edit().push_back(value); }
    void push_back(T&& value) { edit().push_back(std::move(value)); }
    template <class... Args>
    T& emplace_back(Args&&... args) {
        return edit().emplace_back(std::forward<Args>(args)...);
    }
    void pop_back() { edit().pop_back(); }
    // A position may point into elements shared until the call: it is carried over by its offset.
    template <class... Args>
    iterator insert(const_iterator position, Args&&... args) {
        const auto offset = position - vector().cbegin();
        Vector& own = edit();
        return own.insert(own.cbegin() + offset, std::forward<Args>(args)...);
    }
    iterator erase(const_iterator position) {
        const auto offset = position - vector().cbegin();
        Vector& own = edit();
        return own.erase(own.cbegin() + offset);
    }
    iterator erase(const_iterator first, const_iterator last) {
        const auto from = first - vector().cbegin();
        const auto to = last - vector().cbegin();
        Vector& own = edit();
        return own.erase(own.cbegin() + from, own.cbegin() + to);
    }
    template <class... Args>
    void assign(Args&&... args) {
        edit().assign(std::forward<Args>(args)...);
    }
    void swap(SharedVector& other) noexcept { data_.swap(other.data_); }

    friend bool operator==(const SharedVector& a, const SharedVector& b) {
        return a.data_ == b.data_ || a.vector() == b.vector();
    }
    friend bool operator==(const SharedVector& a, const Vector& b) { return a.vector() == b; }

private:
    static std::shared_ptr<Vector> adopt(Vector elements) {
        if (elements.empty() && elements.capacity() == 0) return nullptr;
        return std::make_shared<Vector>(std::move(elements));
    }
    static const Vector& emptyVector() noexcept {
        static const Vector none;
        return none;
    }

    std::shared_ptr<Vector> data_;
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
