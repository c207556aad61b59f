// The event model of a reflection: the object's event interfaces, found through its connection
// points, and the sink connected to them. A reflection owns at most one and frees it first.
#pragma once

namespace qs {

class TEvents {
public:
    TEvents() = default;
    virtual ~TEvents() = default;
    TEvents(const TEvents&) = delete;
    TEvents& operator=(const TEvents&) = delete;
};

} // namespace qs
