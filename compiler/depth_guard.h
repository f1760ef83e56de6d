// Internal: the one guard on the parser's recursion. Each level of nesting (a block, a
// parenthesis, a prefix operator) holds a guard; beyond the limit the guard says no and
// the caller reports a located error instead of recursing further.
#pragma once

namespace tvc {

class DepthGuard {
public:
    DepthGuard(int& depth, int limit) : depth_(depth), ok_(++depth <= limit) {}
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
    explicit operator bool() const { return ok_; }

private:
    int& depth_;
    bool ok_;
};

}  // namespace tvc
