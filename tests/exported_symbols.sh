#!/usr/bin/env bash
# Checks that the shared library exports its public API and nothing else: the C
# functions of trellybridge.h, and the public C++ classes and functions of
# include/trellybridge with their type information. Anything more is an inner working
# that a host could come to depend on.
#   exported_symbols.sh NM LIBRARY C_HEADER
set -euo pipefail
nm=$1 library=$2 header=$3

exported=$("$nm" -D --defined-only -C "$library" | sed -E 's/^[0-9a-fA-F]* +[A-Za-z] //')

classes='TrellyBridgeComm|Variant|GetPatientArguments|Object'
public="^(tb_[a-z_]+"
public+="|trellybridge::($classes)::.*"
public+="|trellybridge::(propertyName|findProperty)\(.*"
public+="|(typeinfo|typeinfo name|vtable) for trellybridge::($classes))$"

status=0
stray=$(grep -Ev "$public" <<<"$exported" || true)
if [ -n "$stray" ]; then
  echo "exported but not public:"
  echo "$stray"
  status=1
fi

# And the public API is there: every C function and the C++ entry points.
for name in $(grep -oE '\btb_[a-z_]+\(' "$header" | tr -d '(' | sort -u) \
            'trellybridge::TrellyBridgeComm::GetPatient(trellybridge::GetPatientArguments const&)' \
            'trellybridge::Variant::toText[abi:cxx11]() const' \
            'trellybridge::GetPatientArguments::withDefaults(std::basic_string_view<char, std::char_traits<char> >, std::basic_string_view<char, std::char_traits<char> >)' \
            'trellybridge::GetPatientArguments::fillDefaults()'; do
  if ! grep -qxF "$name" <<<"$exported"; then
    echo "public but not exported: $name"
    status=1
  fi
done
[ $status -eq 0 ] && echo "$(wc -l <<<"$exported") exported symbols, all public"
exit $status
