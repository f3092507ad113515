#pragma once

// The two measurements of a run's result against its source, in single precision; 0 means not
// measurable.
struct QualityFigures {
    float lumaSnr = 0.0f;
    float chromaSnr = 0.0f;
};
