#ifndef PARTS_H
#define PARTS_H

#include "row.h"

#include <QList>
#include <QString>

// How much each part measures, and where the run is.
struct Options
{
    bool quick = false;
    // Frames are measured in rounds, each subject in turn, so that a slow spell of the
    // machine does not fall on one subject alone.
    int rounds = 3;
    int frames = 100;
    int launches = 7;
    int drags = 5;
    int catchUps = 5;
    // The platform, and under a desktop of a session the desktop and its scale: in words
    // for the rows' names ("wayland, sway, scale 1"), and for their keys ("wayland/sway/1").
    QString where;
    QString whereKey;
};

// The parts of a run, each in a file of its own.
// Frame time beside its floors, and one drag step (frames.cpp).
QList<Row> measureFrames(const Options &options);
// Start-up and peak memory of the real program, observed from outside (launches.cpp).
QList<Row> measureLaunches(const Options &options);
// The paint of the view the drags move, and the budget of a drag's settle: the frame in
// flight and one more, shown at the compositor's next refresh (drags.cpp).
QList<Row> measureDraggedFrame(const Options &options, double *settleBudget);
// How soon the picture settles after a fast drag, and, with floors, the same drag over
// the floors a desktop is judged by (drags.cpp).
QList<Row> measureDrags(const Options &options, double settleBudget, bool withFloors);
// How soon the window shows its state again after the desktop disturbed it
// (catchups.cpp).
QList<Row> measureCatchUps(const Options &options, double settleBudget);

#endif // PARTS_H
