#pragma once
// The one owner of a resource: it frees what it holds when it goes, can be
// moved (the source is left empty), reset, filled through put() and released.
// Traits says what is held and how it is freed:
//   using Value = ...;                     what is held
//   static Value Empty();                  the value that holds nothing
//   static bool IsEmpty(const Value&);     whether a value holds nothing
//   static bool Free(Value&);              false when the free failed and the
//                                          resource is still there
template <class Traits>
class Owned {
public:
    using Value = typename Traits::Value;

    Owned() = default;
    explicit Owned(Value value) : value_(value) {}
    ~Owned() { reset(); }
    Owned(Owned&& other) noexcept : value_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Value get() const { return value_; }
    bool valid() const { return !Traits::IsEmpty(value_); }
    explicit operator bool() const { return valid(); }
    // For the out parameter of a call that opens or allocates one.
    Value* put()
    {
        reset();
        return &value_;
    }
    // Frees what is held now; false, with it kept for another try, when that
    // fails.
    bool close()
    {
        if (!valid()) return true;
        if (!Traits::Free(value_)) return false;
        value_ = Traits::Empty();
        return true;
    }
    void reset(Value value = Traits::Empty())
    {
        close();
        value_ = value;
    }
    Value release()
    {
        Value value = value_;
        value_ = Traits::Empty();
        return value;
    }

protected:
    Value& held() { return value_; }
    const Value& held() const { return value_; }

private:
    Value value_ = Traits::Empty();
};

// A resource whose empty value is null and that one call frees (its answer
// is not looked at).
template <class T, auto FreeFn>
struct NullEmptyTraits {
    using Value = T;
    static T Empty() { return nullptr; }
    static bool IsEmpty(T value) { return value == nullptr; }
    static bool Free(T value)
    {
        FreeFn(value);
        return true;
    }
};
