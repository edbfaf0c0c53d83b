#pragma once
// The common base of the device library's objects. An object is made by one
// of the library's factories and ends through its Release, which only the
// deleter of the owning pointer can reach: whoever holds the ZAMPtr owns the
// object, and nothing else can end it.
#include <memory>
#include <string>

namespace devicelib {

class ZAMObject;

struct ReleaseObject {
  void operator()(ZAMObject* object) const;
};

template <class T>
using ZAMPtr = std::unique_ptr<T, ReleaseObject>;

class ZAMObject {
 public:
  // Both are empty for every object of the library.
  virtual std::u16string GetObjectName() const { return std::u16string(); }
  virtual std::u16string GetObjectInfo() const { return std::u16string(); }

  ZAMObject(const ZAMObject&) = delete;
  ZAMObject& operator=(const ZAMObject&) = delete;

 private:
  friend struct ReleaseObject;
  // Destroys and frees the object.
  virtual void Release() = 0;

 protected:
  ZAMObject() = default;
  virtual ~ZAMObject() = default;
};

inline void ReleaseObject::operator()(ZAMObject* object) const { object->Release(); }

}  // namespace devicelib
