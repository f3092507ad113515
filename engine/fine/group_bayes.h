#pragma once

// The Bayesian estimate of small colour patches from their group, as in the second step of the
// non-local Bayes method (Lebrun, Buades and Morel, 2013): a group's patches are taken as draws of
// one Gaussian whose mean and covariance come from the same patches in a cleaner estimate (the
// pilot), and each noisy patch y becomes mean + C (C + N)^-1 (y - mean), N the noise's variance in
// each value. The covariance joins the three opponent channels and the patch's samples: how colour
// and space vary together is what this estimate adds to the transform filters before it.
// A pure kernel: eight groups at once, one in each lane, every sum in a fixed order and no square
// root, so a group gives the same bits in every build and whatever lane it takes.

constexpr int bayesSide = 3;
constexpr int bayesSamples = bayesSide * bayesSide;
// A patch's values: the three channels' samples, channel after channel.
constexpr int bayesValues = 3 * bayesSamples;
constexpr int bayesGroup = 20;
constexpr int bayesLanes = 8;

// pilot and noisy hold the groups' bayesGroup patches, value after value and each value's eight
// lanes together ([patch][value][lane]); noise[value][lane] is the noise variance of each value in
// the lane's group, never zero. Writes the estimates of the noisy patches to estimate, laid out as
// noisy.
void BayesEstimateGroups(const float* pilot, const float* noisy, const float* noise, float* estimate);
