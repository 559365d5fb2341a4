// Scope guard for GDI objects: selects an object into a device context and, on leaving the
// scope, selects the previous object back and deletes the object if the guard owns it.
#pragma once

#include <windows.h>

template <typename Handle> class SelectedObject {
  public:
    // owned: the guard created the object and deletes it; stock objects are not owned.
    SelectedObject(HDC dc, Handle object, bool owned)
        : dc_(dc), object_(object), owned_(owned),
          previous_(object != nullptr ? SelectObject(dc, object) : nullptr) {}
    ~SelectedObject() {
        if (previous_ != nullptr)
            SelectObject(dc_, previous_);
        if (owned_ && object_ != nullptr)
            DeleteObject(object_);
    }
    SelectedObject(const SelectedObject &) = delete;
    SelectedObject &operator=(const SelectedObject &) = delete;

    bool ok() const { return object_ != nullptr; } // false when the object could not be made

  private:
    HDC dc_;
    Handle object_;
    bool owned_;
    HGDIOBJ previous_;
};
