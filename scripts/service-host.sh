#!/usr/bin/env bash
# Prints the query service host that the build folder BUILD was configured with (empty when it has none).
#   service-host.sh BUILD
sed -n 's/^VELACORTE_SERVICE_HOST:STRING=//p' "$1/CMakeCache.txt" 2>/dev/null || true
