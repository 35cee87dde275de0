#include "platform/sim/device.h"
#include <gtest/gtest.h>
#include <iostream>
TEST(Smoke, Life) {
    sim::Device d;
    d.AddEntry({u"\\Storage Card", sim::AttrDirectory | sim::AttrTemporary});
    d.AddEntry({u"\\Storage Card\\2577\\autorun.exe"});
    d.AddEntry({u"\\Storage Card\\2577\\Reader.cab"});
    d.Insert(); d.Menu(); d.Remove();
    for (auto& e : d.Events()) { std::cout << e.t << " " << e.event; for (auto& f : e.fields) std::cout << " " << f.first << "=" << (f.second.kind==sim::Value::Text? f.second.text : std::to_string(f.second.number)); std::cout << "\n"; }
    for (auto& e : d.Entries()) std::cout << sim::Utf8(e.path) << " " << e.attributes << " " << e.time << "\n";
    for (auto& k : d.Keys()) std::cout << sim::Utf8(k) << "\n";
    for (auto& v : d.Violations()) std::cout << "V " << v << "\n";
}
