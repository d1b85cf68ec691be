#pragma once

#include <string>
#include <vector>

// Writes a data file of a soma (section "soma", 1 segment) and one dendrite
// item ("dend[0]" with 2 segments and its child "dend[1]" with 3), variable
// range 0..40 "mV", times in ms, one frame per entry of times. Segment k (global
// index) has the value time + k. Returns false when the file cannot be written.
bool WriteSampleDataFile(const std::string &path, const std::vector<double> &times);

// The same morphology with every value, and the data range, equal to value.
bool WriteFlatDataFile(const std::string &path, double value, const std::vector<double> &times);

// The same morphology with the data range minimum..maximum (either may be
// infinite) and the six segments' values spread over it, clamped to the finite
// doubles, in increasing order.
bool WriteRangeDataFile(const std::string &path, double minimum, double maximum,
                        const std::vector<double> &times);

// Frame times first, first + step, ... up to last.
std::vector<double> FrameTimes(double first, double step, double last);
