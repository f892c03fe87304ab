// SymmetricEigen: cyclic Jacobi eigen-decomposition of small symmetric matrices, for the fitting code.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <utility>

namespace Tavrel {

// Eigenvalues in ascending order; vectors[k] is the unit eigenvector of values[k].
template <std::size_t N>
struct SymmetricEigenResult {
    std::array<double, N> values;
    std::array<std::array<double, N>, N> vectors;
};

// Jacobi rotations converge for every symmetric input, including repeated eigenvalues and the zero
// matrix, and always give an orthonormal set of vectors: no NaN for degenerate point sets.
template <std::size_t N>
SymmetricEigenResult<N> SymmetricEigen(std::array<std::array<double, N>, N> a)
{
    std::array<std::array<double, N>, N> v{};
    for (std::size_t i = 0; i < N; ++i)
        v[i][i] = 1.0;

    for (int sweep = 0; sweep < 100; ++sweep) {
        double offDiagonal = 0.0;
        double diagonal = 0.0;
        for (std::size_t p = 0; p < N; ++p) {
            diagonal += std::abs(a[p][p]);
            for (std::size_t q = p + 1; q < N; ++q)
                offDiagonal += std::abs(a[p][q]);
        }
        if (offDiagonal == 0.0 || offDiagonal <= 1e-15 * diagonal || !std::isfinite(offDiagonal))
            break;
        for (std::size_t p = 0; p < N; ++p) {
            for (std::size_t q = p + 1; q < N; ++q) {
                if (a[p][q] == 0.0)
                    continue;
                const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
                const double t = (theta >= 0.0 ? 1.0 : -1.0) / (std::abs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double s = t * c;
                for (std::size_t k = 0; k < N; ++k) {
                    const double akp = a[k][p];
                    const double akq = a[k][q];
                    a[k][p] = c * akp - s * akq;
                    a[k][q] = s * akp + c * akq;
                }
                for (std::size_t k = 0; k < N; ++k) {
                    const double apk = a[p][k];
                    const double aqk = a[q][k];
                    a[p][k] = c * apk - s * aqk;
                    a[q][k] = s * apk + c * aqk;
                }
                for (std::size_t k = 0; k < N; ++k) {
                    const double vkp = v[k][p];
                    const double vkq = v[k][q];
                    v[k][p] = c * vkp - s * vkq;
                    v[k][q] = s * vkp + c * vkq;
                }
            }
        }
    }

    SymmetricEigenResult<N> result{};
    std::array<std::size_t, N> order{};
    for (std::size_t i = 0; i < N; ++i)
        order[i] = i;
    for (std::size_t i = 1; i < N; ++i)
        for (std::size_t j = i; j > 0 && a[order[j]][order[j]] < a[order[j - 1]][order[j - 1]]; --j)
            std::swap(order[j], order[j - 1]);
    for (std::size_t k = 0; k < N; ++k) {
        result.values[k] = a[order[k]][order[k]];
        for (std::size_t i = 0; i < N; ++i)
            result.vectors[k][i] = v[i][order[k]];
    }
    return result;
}

} // namespace Tavrel
