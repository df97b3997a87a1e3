// ComHolder: holds one reference to a reference-counted interface and
// releases it when it goes out of scope, unless the reference is handed on.
#pragma once

namespace quillmark {

template <typename Interface>
class ComHolder {
public:
    ComHolder() = default;
    ~ComHolder() { Reset(); }
    ComHolder(const ComHolder&) = delete;
    ComHolder& operator=(const ComHolder&) = delete;

    Interface* Get() const { return object_; }
    Interface* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // For the out-parameter of a call that creates or fetches the object.
    Interface** Out() {
        Reset();
        return &object_;
    }
    // Hands the reference to the caller; the holder is left empty.
    Interface* Detach() {
        Interface* object = object_;
        object_ = nullptr;
        return object;
    }
    void Reset() {
        if (object_ != nullptr) object_->Release();
        object_ = nullptr;
    }
    void Swap(ComHolder& other) {
        Interface* object = object_;
        object_ = other.object_;
        other.object_ = object;
    }

private:
    Interface* object_ = nullptr;
};

}  // namespace quillmark
