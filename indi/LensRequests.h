#pragma once

// What a client may ask of the lens through the driver's own properties
// (aperture, zoom, stabiliser, focus re-initialisation): the property
// adapter decodes the request and the driver carries it out. Each returns
// false when the driver refused, with the reason in the driver's log.
class LensRequests
{
public:
    virtual bool requestFNumber(double fNumber) = 0;
    virtual bool requestZoom(double millimetres) = 0;
    virtual bool requestStabiliser(bool on) = 0;
    virtual bool requestFocusReinitialisation() = 0;

protected:
    ~LensRequests() = default;
};
