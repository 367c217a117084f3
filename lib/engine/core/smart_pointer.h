#pragma once

#include <functional>

#include <cstddef>
#include <utility>

// Base of every intrusively counted engine object. The count is a plain
// integer: engine objects belong to the one validator a process runs at a
// time (docs/architecture.md, "Threads"), and a check copies and drops their
// pointers a few million times, where a locked increment and decrement each
// time cost a hundredth of the run.
class ReferenceCount {
  public:
    ReferenceCount() = default;
    ReferenceCount(const ReferenceCount&) {}
    ReferenceCount& operator=(const ReferenceCount&) { return *this; }
    virtual ~ReferenceCount() = default;

    void incRef() const { ++count_; }
    void decRef() const {
        if (--count_ == 0) {
            lastOwnerGone();
        }
    }
    int refCount() const { return count_; }

  protected:
    // Called when the last owner lets go. An object that belongs to another
    // (an element's section to its document) may stay for the next owner.
    virtual void lastOwnerGone() const { delete this; }

  private:
    mutable int count_ = 0;
};

template <class T> class SmartPointer {
  public:
    SmartPointer() = default;
    SmartPointer(std::nullptr_t) {}
    explicit SmartPointer(T* object) : object_(object) { acquire(); }
    SmartPointer(const SmartPointer& other) : object_(other.object_) { acquire(); }
    SmartPointer(SmartPointer&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    template <class U> SmartPointer(const SmartPointer<U>& other) : object_(other.get()) { acquire(); }
    ~SmartPointer() { release(); }

    SmartPointer& operator=(const SmartPointer& other) {
        SmartPointer(other).swap(*this);
        return *this;
    }
    SmartPointer& operator=(SmartPointer&& other) noexcept {
        SmartPointer(std::move(other)).swap(*this);
        return *this;
    }

    void swap(SmartPointer& other) noexcept { std::swap(object_, other.object_); }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }
    bool exists() const { return object_ != nullptr; }

    friend bool operator==(const SmartPointer& a, const SmartPointer& b) { return a.object_ == b.object_; }
    friend bool operator==(const SmartPointer& a, std::nullptr_t) { return a.object_ == nullptr; }

  private:
    void acquire() {
        if (object_) {
            object_->incRef();
        }
    }
    void release() {
        if (object_) {
            object_->decRef();
        }
    }

    T* object_ = nullptr;
};

// Smart pointers hash as the objects they point to, so that an object can key a map.
template <class T> struct std::hash<SmartPointer<T>> {
    size_t operator()(const SmartPointer<T>& pointer) const noexcept {
        return std::hash<T*>()(pointer.get());
    }
};
