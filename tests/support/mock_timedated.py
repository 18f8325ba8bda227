'''systemd-timedated for the tests, on their private bus

As timedated does: SetTime is refused while NTP is on, SetTime and SetNTP ask polkit (the polkitd
mock on the same bus) and are refused when it says no. The clock is never set: each accepted
SetTime is recorded with the time it would have set, read back with GetClockSets; each question
to polkit with GetAuthorizations. Parameters: NTP, NTPSynchronized, CanNTP (booleans).
'''

import time

import dbus

from dbusmock import MOCK_IFACE

BUS_NAME = 'org.freedesktop.timedate1'
MAIN_OBJ = '/org/freedesktop/timedate1'
MAIN_IFACE = 'org.freedesktop.timedate1'
SYSTEM_BUS = True

# polkit's CheckAuthorization flag: the user may be asked.
ALLOW_USER_INTERACTION = 1


def load(mock, parameters):
    mock.clock_sets = []
    mock.authorizations = []
    mock.AddProperties(MAIN_IFACE, dbus.Dictionary({
        'Timezone': 'Etc/UTC',
        'LocalRTC': False,
        'NTP': parameters.get('NTP', True),
        'NTPSynchronized': parameters.get('NTPSynchronized', False),
        'CanNTP': parameters.get('CanNTP', True),
    }, signature='sv'))


def authorize(mock, action, sender, interactive):
    bus = dbus.SystemBus()
    authority = bus.get_object('org.freedesktop.PolicyKit1',
                               '/org/freedesktop/PolicyKit1/Authority')
    subject = ('system-bus-name', {'name': dbus.String(sender, variant_level=1)})
    flags = dbus.UInt32(ALLOW_USER_INTERACTION if interactive else 0)
    result = authority.CheckAuthorization(
        subject, action, dbus.Dictionary({}, signature='ss'), flags, '',
        dbus_interface='org.freedesktop.PolicyKit1.Authority', timeout=30)
    allowed = bool(result[0])
    mock.authorizations.append((action, int(flags), allowed))
    if not allowed:
        raise dbus.exceptions.DBusException('Access denied',
                                            name='org.freedesktop.DBus.Error.AccessDenied')


@dbus.service.method(MAIN_IFACE, in_signature='xbb', out_signature='', sender_keyword='sender')
def SetTime(self, usec_utc, relative, interactive, sender=None):
    if self.Get(MAIN_IFACE, 'NTP'):
        raise dbus.exceptions.DBusException(
            'Automatic time synchronization is enabled',
            name='org.freedesktop.timedate1.AutomaticTimeSyncEnabled')
    authorize(self, 'org.freedesktop.timedate1.set-time', sender, interactive)
    # A relative change is taken against the clock when it is made, after the authorization.
    now = time.clock_gettime_ns(time.CLOCK_REALTIME) // 1000
    target = now + usec_utc if relative else usec_utc
    self.clock_sets.append((dbus.Int64(usec_utc), bool(relative), bool(interactive),
                            dbus.Int64(target), dbus.Int64(now)))


@dbus.service.method(MAIN_IFACE, in_signature='bb', out_signature='', sender_keyword='sender')
def SetNTP(self, use_ntp, interactive, sender=None):
    authorize(self, 'org.freedesktop.timedate1.set-ntp', sender, interactive)
    self.UpdateProperties(MAIN_IFACE, {'NTP': dbus.Boolean(use_ntp),
                                       'NTPSynchronized': dbus.Boolean(False)})


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='a(xbbxx)')
def GetClockSets(self):
    '''The accepted SetTime calls: usec, relative, interactive, the time set, the clock then'''
    return self.clock_sets


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='a(sub)')
def GetAuthorizations(self):
    '''The questions to polkit: action, flags, allowed'''
    return self.authorizations
