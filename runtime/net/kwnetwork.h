// The network session object.
#pragma once

class KWNetwork {
public:
    KWNetwork() = default;
    virtual ~KWNetwork() = default;
};
