// SPDX-License-Identifier: GPL-3.0-or-later
#include "Memoria.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The smallest limit in the file of that name of the group at ruta and of the groups above it;
// "max" and an unreadable file set none.
uint64_t LimiteDesde(const std::string& raiz, std::string ruta, const char* fichero) {
    uint64_t limite = UINT64_MAX;
    for (;;) {
        std::ifstream f(raiz + ruta + "/" + fichero);
        std::string valor;
        if (f >> valor && valor != "max") {
            try {
                limite = std::min<uint64_t>(limite, std::stoull(valor));
            } catch (const std::exception&) {
                // not a number: no limit read from this group
            }
        }
        if (ruta.empty() || ruta == "/") return limite;
        ruta.erase(ruta.rfind('/'));
    }
}

// The memory limit of the process's control group: version 2 ("0::path", memory.max) or the
// memory controller of version 1 ("n:memory:path", memory.limit_in_bytes).
uint64_t LimiteGrupo() {
    uint64_t limite = UINT64_MAX;
    std::ifstream grupos("/proc/self/cgroup");
    for (std::string linea; std::getline(grupos, linea);) {
        const size_t a = linea.find(':'), b = linea.find(':', a + 1);
        if (a == std::string::npos || b == std::string::npos) continue;
        const std::string controladores = linea.substr(a + 1, b - a - 1), ruta = linea.substr(b + 1);
        if (linea.compare(0, a, "0") == 0 && controladores.empty())
            limite = std::min(limite, LimiteDesde("/sys/fs/cgroup", ruta, "memory.max"));
        else if (("," + controladores + ",").find(",memory,") != std::string::npos)
            limite = std::min(limite, LimiteDesde("/sys/fs/cgroup/memory", ruta,
                                                  "memory.limit_in_bytes"));
    }
    return limite;
}

} // namespace

uint64_t MemoriaUtilizable() {
    const long paginas = ::sysconf(_SC_PHYS_PAGES), pagina = ::sysconf(_SC_PAGESIZE);
    uint64_t memoria = paginas > 0 && pagina > 0
                           ? static_cast<uint64_t>(paginas) * static_cast<uint64_t>(pagina)
                           : UINT64_MAX;
    for (const int recurso : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit r{};
        if (::getrlimit(recurso, &r) == 0 && r.rlim_cur != RLIM_INFINITY)
            memoria = std::min<uint64_t>(memoria, r.rlim_cur);
    }
    return std::min(memoria, LimiteGrupo());
}
