// Inside the core: the mapping a metafile's records set up, as the drawing
// estimate follows it record by record: the map mode, the window and
// viewport extents, and the states saved and restored.
#pragma once

#include "pictures/Bytes.h"
#include "pictures/MetafileRecord.h"

#include <vector>

namespace snapvane {

class MetafileMapping {
public:
    // The player's own mapping: the frame's window onto the picture's place.
    MetafileMapping(double windowWidth, double windowHeight, Extent place);

    // Follows a record that changes the mapping; others leave it as it is.
    void Follow(const metafile::Record& r);
    // False once the mapping leaves what GDI keeps exactly.
    bool Exact() const { return exact_; }

    // Pixels a logical unit takes along each axis now, and the most it has taken.
    double ScaleX() const { return now_.ScaleX(); }
    double ScaleY() const { return now_.ScaleY(); }
    double LargestScale() const { return largestScaleX_ > largestScaleY_ ? largestScaleX_ : largestScaleY_; }

private:
    struct Extents {
        int mode;
        double windowX = 1, windowY = 1, viewportX = 1, viewportY = 1;

        bool Scaled() const;
        // Fixed modes (text, metric and English units, twips) take at most a
        // pixel on any screen; the isotropic mode takes the smaller of the
        // two scales on both axes, which these stay above.
        double ScaleX() const;
        double ScaleY() const;
    };

    void SetMode(int mode);
    void SetExtent(double& x, double& y, std::int32_t newX, std::int32_t newY);
    void ScaleExtent(double& x, double& y, const metafile::Record& r);
    void Restore(std::int32_t level);
    void NoteScale();

    Extents now_;
    std::vector<Extents> saved_;
    double largestScaleX_ = 0, largestScaleY_ = 0;
    bool exact_ = true;
};

} // namespace snapvane
