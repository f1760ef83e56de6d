// Internal: the network session object.
#pragma once

class KWNetwork {
public:
    KWNetwork() = default;
    virtual ~KWNetwork() = default;
};

// The network session object; null before start-up and after the end.
extern KWNetwork* pKWNet;
