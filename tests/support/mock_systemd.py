'''systemd's unit manager for the tests, on their private bus

GetUnit as systemd answers it: the path of a loaded unit, else the error NoSuchUnit. Parameters:
"active" and "inactive", lists of unit names loaded in that state.
'''

import dbus

BUS_NAME = 'org.freedesktop.systemd1'
MAIN_OBJ = '/org/freedesktop/systemd1'
MAIN_IFACE = 'org.freedesktop.systemd1.Manager'
UNIT_IFACE = 'org.freedesktop.systemd1.Unit'
SYSTEM_BUS = True


def unit_path(name):
    return MAIN_OBJ + '/unit/' + name.replace('.', '_2e').replace('-', '_2d')


def load(mock, parameters):
    mock.units = {}
    for state in ('active', 'inactive'):
        for name in parameters.get(state, []):
            path = unit_path(name)
            mock.units[name] = path
            mock.AddObject(path, UNIT_IFACE,
                           {'Id': name, 'LoadState': 'loaded', 'ActiveState': state}, [])


@dbus.service.method(MAIN_IFACE, in_signature='s', out_signature='o')
def GetUnit(self, name):
    if name not in self.units:
        raise dbus.exceptions.DBusException(f'Unit {name} not loaded.',
                                            name='org.freedesktop.systemd1.NoSuchUnit')
    return dbus.ObjectPath(self.units[name])
