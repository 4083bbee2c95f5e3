#pragma once
// The root of the PDF layer's classes. It holds nothing; it gives every class
// of the layer a virtual destructor so that any of them can be owned through
// a pointer to the root.

namespace qz::core {

class TqzObject {
public:
    TqzObject() = default;
    virtual ~TqzObject() = default;
    TqzObject(const TqzObject&) = default;
    TqzObject& operator=(const TqzObject&) = default;
};

}  // namespace qz::core
