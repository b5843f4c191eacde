#pragma once

#include <QString>
#include <QStringList>

// The lenses the simulated controller can have on its bus. Zoom positions
// are focal lengths in mm, focus positions motor counts (far end 0 unless
// the controller is told otherwise), and aperture positions indexes into the
// lens's third-stop f-number scale.
struct LensSpec
{
    QString key;         // name on the command line
    QString description; // the "Lens=" text
    bool present = true; // false: the controller reports "nolensfound"
    int wideMm = 0;
    int teleMm = 0;
    double openFAtWide = 0; // widest aperture at the wide end
    double openFAtTele = 0; // widest aperture at the tele end (variable-aperture zooms)
    double closedF = 0;     // smallest aperture; above 90 means the lens reports none
    int focusMax = 0;       // length of the focus travel in motor counts
    bool autoFocus = true;  // position of the lens's AF/MF switch
    bool stabiliser = false;
    int focusFar = 0; // motor count of the far end of the focus travel (not in the catalogue)
    // The counts fall from the far end to the near end (not in the catalogue).
    bool focusDescending = false;

    bool hasAperture() const { return closedF <= 90; }
    int focusNear() const { return focusDescending ? focusFar - focusMax : focusFar + focusMax; }
};

namespace LensCatalogue {

// The f-number scale in third stops, the values the controller reports.
const QVector<double>& fNumberScale();

// Index of the scale entry nearest to an f-number.
int nearestStop(double fNumber);

QStringList keys();
// The lens named `key`; a lens with an empty key when there is none.
LensSpec lens(const QString& key);
// One line per lens for --help.
QString describeAll();

} // namespace LensCatalogue
