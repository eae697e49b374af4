#pragma once

#include <cstddef>
#include <vector>

namespace ombrel {

// A dense square matrix of float64, row-major and contiguous, sized once before the iterations.
class SquareMatrix {
public:
    SquareMatrix() = default;
    explicit SquareMatrix(int size) { Resize(size); }

    void Resize(int size) {
        size_ = size;
        values_.assign(static_cast<size_t>(size) * static_cast<size_t>(size), 0.0);
    }
    int Size() const { return size_; }
    double* Row(int i) { return values_.data() + static_cast<size_t>(i) * static_cast<size_t>(size_); }
    const double* Row(int i) const {
        return values_.data() + static_cast<size_t>(i) * static_cast<size_t>(size_);
    }
    double& operator()(int i, int j) { return Row(i)[j]; }
    double operator()(int i, int j) const { return Row(i)[j]; }
    double* Data() { return values_.data(); }
    const double* Data() const { return values_.data(); }
    void Fill(double value) { values_.assign(values_.size(), value); }
    void SetIdentity() {
        Fill(0.0);
        for (int i = 0; i < size_; ++i) (*this)(i, i) = 1.0;
    }

private:
    int size_ = 0;
    std::vector<double> values_;
};

}  // namespace ombrel
