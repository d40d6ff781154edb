// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Errors raised by the computing core. Each step that can fail throws one of these; the
// processing loop catches them per frame, the window shows the rest in its error box.
#include <exception>
#include <stdexcept>
#include <string>

// A list position, a matrix index or a rounding outside the 32-bit range.
struct ErrorRango : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A header value that is not a number or an integer, or a record that cannot be read.
struct ErrorConversion : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A file shorter than its own header says: no "END" card before its end, or fewer data values
// than the axes ask for. Usually a frame still being written.
struct ErrorIncompleto : ErrorConversion {
    using ErrorConversion::ErrorConversion;
};

// Division by zero, 0/0, square root of a negative number, overflow.
struct ErrorAritmetico : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Checked floating-point helpers: the measurement must never carry an infinite or undefined
// number forward, so these raise instead.
double Dividir(double a, double b);
double Raiz(double v);

// A system error (an errno value) described in Spanish, for the texts the user reads; an error
// without a Spanish text keeps the system's own description.
std::string DescripcionError(int codigo);

// A caught error's text for the user: memory exhaustion (std::bad_alloc, a size beyond the
// library's) in Spanish, every other error its own message.
std::string TextoError(const std::exception& e);
