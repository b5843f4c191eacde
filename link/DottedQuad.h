#pragma once

#include <QString>

// IPv4 addresses as the operator types them: four decimal octets 0 to 255,
// one to three digits each, leading zeros allowed ("010.001.000.099" is
// 10.1.0.99, never octal).
//
// An address is accepted with leading zeros, since that is how some people
// write addresses, and is given its canonical form once, where it is
// accepted (the connect and change-IP dialogs). From there on the panel
// stores, shows and sends only that form. The reason is that not every
// reader agrees on "010": libcurl and the C library's inet_aton() read it as
// octal 8, so a firmware image would go to another controller than the
// update commands did.
namespace DottedQuad {

// The exact whole-text match the address fields use.
bool isValid(const QString& text);

// The address as a host-order number; *ok tells whether the text was valid.
quint32 parse(const QString& text, bool* ok = nullptr);

// The four octets of a valid text, most significant first.
bool octets(const QString& text, int out[4]);

// The canonical form of a valid address: each octet in plain decimal without
// leading zeros ("127.000.000.010" gives "127.0.0.10"). Any other text comes
// back unchanged.
QString canonical(const QString& text);

} // namespace DottedQuad
