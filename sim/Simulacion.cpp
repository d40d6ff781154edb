// SPDX-License-Identifier: GPL-3.0-or-later
#include "Simulacion.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>

namespace {

uint16_t Cuenta(double senal, std::normal_distribution<double>& normal, std::mt19937_64& azar) {
    const double v =
        senal + normal(azar) * std::sqrt(RuidoLectura * RuidoLectura + senal / Ganancia);
    return static_cast<uint16_t>(std::clamp(std::lround(v), 0L, 65535L));
}

// The share of a unit flux centred at c that falls on pixels first .. first + n - 1.
std::vector<double> Perfil(double c, double sigma, int primero, int n) {
    std::vector<double> p(static_cast<size_t>(n));
    const double k = 1 / (sigma * std::sqrt(2.0));
    for (int i = 0; i < n; ++i) {
        const double x = primero + i - c;
        p[static_cast<size_t>(i)] = 0.5 * (std::erf((x + 0.5) * k) - std::erf((x - 0.5) * k));
    }
    return p;
}

} // namespace

double SigmaSerie(int i, int n, double sigmaMin, double sigmaMax) {
    const double t = n > 1 ? static_cast<double>(i) / (n - 1) : 0.5;
    return sigmaMin + (sigmaMax - sigmaMin) * std::fabs(2 * t - 1);
}

std::vector<uint16_t> ExponerEstrella(int ancho, int alto, double sigmaMin, double sigma, double cx,
                                      double cy, std::mt19937_64& azar) {
    const double flujo = 2 * M_PI * sigmaMin * sigmaMin * 50000.0;
    const double amplitud = flujo / (2 * M_PI * sigma * sigma);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<uint16_t> cuentas(static_cast<size_t>(ancho) * alto);
    const int r = static_cast<int>(std::ceil(6 * sigma));
    for (int y = 0; y < alto; ++y) {
        for (int x = 0; x < ancho; ++x) {
            double senal = FondoCielo;
            if (std::abs(x - cx) <= r && std::abs(y - cy) <= r)
                senal += amplitud * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) /
                                             (2 * sigma * sigma));
            cuentas[static_cast<size_t>(y) * ancho + x] = Cuenta(senal, normal, azar);
        }
    }
    return cuentas;
}

TEscena CrearEscena(int ancho, int alto, int estrellas, double sigmaMin, std::mt19937_64& azar) {
    TEscena e;
    e.ancho = ancho;
    e.alto = alto;
    e.sigmaMin = sigmaMin;
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int k = 0; k < estrellas; ++k) {
        const double x = u(azar) * ancho, y = u(azar) * alto;
        e.estrellas.push_back({x, y, 1500 * std::pow(100.0, u(azar))});
    }
    std::uniform_int_distribution<int> px(0, ancho - 1), py(0, alto - 1);
    for (int k = 0; k < 3 + estrellas / 10; ++k) {
        const int x = px(azar), y = py(azar);
        e.calientes.push_back({x, y, 2000 + 38000 * u(azar)});
    }
    return e;
}

std::vector<uint16_t> ExponerCampo(const TEscena& escena, double sigmaCampo, std::mt19937_64& azar,
                                   double inclinacion) {
    const int w = escena.ancho, h = escena.alto;
    struct Huella {
        int x0, y0;
        std::vector<double> fx, fy; // flux times the share of each column, share of each row
    };
    std::vector<Huella> huellas;
    for (const TEstrellaSimulada& s : escena.estrellas) {
        const double sigma = sigmaCampo * (1 + inclinacion * s.x / w);
        // Each star's light reaches 6 sigma from its centre: past that it is below 1e-8 of it.
        const int r = static_cast<int>(std::ceil(6 * sigma));
        const double flujo = 2 * M_PI * escena.sigmaMin * escena.sigmaMin * s.amplitud;
        Huella hu{static_cast<int>(std::floor(s.x)) - r, static_cast<int>(std::floor(s.y)) - r,
                  Perfil(s.x, sigma, static_cast<int>(std::floor(s.x)) - r, 2 * r + 2),
                  Perfil(s.y, sigma, static_cast<int>(std::floor(s.y)) - r, 2 * r + 2)};
        for (double& f : hu.fx) f *= flujo;
        huellas.push_back(std::move(hu));
    }

    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<uint16_t> cuentas(static_cast<size_t>(w) * h);
    std::vector<double> fila(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        std::fill(fila.begin(), fila.end(), FondoCielo);
        for (const Huella& hu : huellas) {
            const int j = y - hu.y0;
            if (j < 0 || j >= static_cast<int>(hu.fy.size())) continue;
            const double fy = hu.fy[static_cast<size_t>(j)];
            for (size_t i = 0; i < hu.fx.size(); ++i) {
                const int x = hu.x0 + static_cast<int>(i);
                if (x >= 0 && x < w) fila[static_cast<size_t>(x)] += hu.fx[i] * fy;
            }
        }
        for (const TPixelCaliente& c : escena.calientes)
            if (c.y == y) fila[static_cast<size_t>(c.x)] += c.exceso;
        for (int x = 0; x < w; ++x)
            cuentas[static_cast<size_t>(y) * w + x] =
                Cuenta(fila[static_cast<size_t>(x)], normal, azar);
    }
    return cuentas;
}

TSubcuadro ElegirSubcuadro(const TEscena& escena, int lado, double sigmaMax) {
    TSubcuadro mejor;
    mejor.lado = lado;
    const double margen = 5 * sigmaMax;
    for (size_t k = 0; k < escena.estrellas.size(); ++k) {
        const TEstrellaSimulada& s = escena.estrellas[k];
        // 40000 above the sky stays clear of the window's saturation level of 60000 with
        // any noise.
        if (s.amplitud > 40000) continue;
        const int x0 = static_cast<int>(std::floor(s.x)) - lado / 2;
        const int y0 = static_cast<int>(std::floor(s.y)) - lado / 2;
        if (x0 < 0 || y0 < 0 || x0 + lado > escena.ancho || y0 + lado > escena.alto) continue;
        const auto cerca = [&](double x, double y) {
            return x > x0 - margen && x < x0 + lado + margen && y > y0 - margen &&
                   y < y0 + lado + margen;
        };
        bool aislada = true;
        for (size_t m = 0; m < escena.estrellas.size() && aislada; ++m)
            aislada = m == k || !cerca(escena.estrellas[m].x, escena.estrellas[m].y);
        for (const TPixelCaliente& c : escena.calientes) aislada = aislada && !cerca(c.x, c.y);
        if (aislada &&
            (mejor.estrella < 0 ||
             s.amplitud > escena.estrellas[static_cast<size_t>(mejor.estrella)].amplitud))
            mejor = {x0, y0, lado, static_cast<int>(k)};
    }
    return mejor;
}

std::vector<uint16_t> Recorte(const std::vector<uint16_t>& cuentas, int ancho,
                              const TSubcuadro& s) {
    std::vector<uint16_t> r;
    r.reserve(static_cast<size_t>(s.lado) * s.lado);
    for (int y = s.y0; y < s.y0 + s.lado; ++y) {
        const auto fila = cuentas.begin() + static_cast<std::ptrdiff_t>(y) * ancho + s.x0;
        r.insert(r.end(), fila, fila + s.lado);
    }
    return r;
}

double SigmaHiperbola(double x, double p, double b, double sigmaMin) {
    const double u = (x - p) / b;
    return sigmaMin * std::sqrt(1 + u * u);
}

std::vector<uint16_t> ExponerPerfiles(int ancho, int alto,
                                      const std::vector<TEstrellaPerfil>& estrellas, double beta,
                                      std::mt19937_64& azar) {
    std::vector<double> senal(static_cast<size_t>(ancho) * alto, FondoCielo);
    for (const TEstrellaPerfil& s : estrellas) {
        // Profile I(r) = I0 · f(r²), its integral over the plane flujo. A Moffat profile's
        // wings fall below 1e-4 of its peak at 6 FWHM for beta 2.5; a Gaussian's far sooner.
        std::function<double(double)> f;
        double area;
        if (beta > 0) {
            const double alfa = s.fwhm / (2 * std::sqrt(std::pow(2.0, 1 / beta) - 1));
            f = [alfa, beta](double r2) { return std::pow(1 + r2 / (alfa * alfa), -beta); };
            area = M_PI * alfa * alfa / (beta - 1);
        } else {
            const double sigma = s.fwhm / 2.3548200450309493;
            f = [sigma](double r2) { return std::exp(-r2 / (2 * sigma * sigma)); };
            area = 2 * M_PI * sigma * sigma;
        }
        const double pico = s.flujo / area, r = 6 * s.fwhm;
        for (int y = std::max(0, static_cast<int>(s.y - r));
             y <= std::min(alto - 1, static_cast<int>(s.y + r)); ++y)
            for (int x = std::max(0, static_cast<int>(s.x - r));
                 x <= std::min(ancho - 1, static_cast<int>(s.x + r)); ++x)
                senal[static_cast<size_t>(y) * ancho + x] +=
                    pico * f((x - s.x) * (x - s.x) + (y - s.y) * (y - s.y));
    }
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<uint16_t> cuentas(senal.size());
    for (size_t i = 0; i < senal.size(); ++i) cuentas[i] = Cuenta(senal[i], normal, azar);
    return cuentas;
}
