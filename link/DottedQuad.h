#pragma once

#include <QString>

// IPv4 addresses as the operator types them: four decimal octets 0 to 255,
// one to three digits each, leading zeros allowed ("010.001.000.099" is
// 10.1.0.99, never octal).
namespace DottedQuad {

// The exact whole-text match the address fields use.
bool isValid(const QString& text);

// The address as a host-order number; *ok tells whether the text was valid.
quint32 parse(const QString& text, bool* ok = nullptr);

// The four octets of a valid text, most significant first.
bool octets(const QString& text, int out[4]);

} // namespace DottedQuad
