<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>Pemblor</name>
    <message>
        <source>IP Address</source>
        <translation>IP-Adresse</translation>
    </message>
    <message>
        <source>Windows sockets initialization failed.</source>
        <translation>Initialisierung der Windows-Sockets fehlgeschlagen.</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nr.</translation>
    </message>
    <message>
        <source>SSID</source>
        <translation>SSID</translation>
    </message>
    <message>
        <source>Subnet Mask</source>
        <translation>Subnetzmaske</translation>
    </message>
    <message>
        <source>Channel</source>
        <translation>Kanal</translation>
    </message>
    <message>
        <source>MAC Address</source>
        <translation>MAC-Adresse</translation>
    </message>
    <message>
        <source>skSend.SendTo: %d
</source>
        <translation>skSend.SendTo: %d
</translation>
    </message>
    <message>
        <source>detail_sk.SendTo: %d
</source>
        <translation>detail_sk.SendTo: %d
</translation>
    </message>
    <message>
        <source>IP Address cannot be empty!</source>
        <translation>Die IP-Adresse darf nicht leer sein!</translation>
    </message>
    <message>
        <source>Invalid IP Address!</source>
        <translation>Ungültige IP-Adresse!</translation>
    </message>
    <message>
        <source>Netmask cannot be empty!</source>
        <translation>Die Netzmaske darf nicht leer sein!</translation>
    </message>
    <message>
        <source>Invalid Netmask!</source>
        <translation>Ungültige Netzmaske!</translation>
    </message>
    <message>
        <source>Invalid Gateway Address!</source>
        <translation>Ungültige Gateway-Adresse!</translation>
    </message>
    <message>
        <source>No change is made!</source>
        <translation>Es wurde nichts geändert!</translation>
    </message>
    <message>
        <source>This device has no valid MAC address, so it cannot be addressed on its own. Nothing was sent to it.</source>
        <translation>Dieses Gerät hat keine gültige MAC-Adresse und kann daher nicht einzeln angesprochen werden. Es wurde nichts an das Gerät gesendet.</translation>
    </message>
    <message>
        <source>User Name is too long: at most 30 bytes fit in the request, and a character outside ASCII takes 2 to 4 bytes.</source>
        <translation>Der Benutzername ist zu lang: Die Anfrage fasst höchstens 30 Bytes, und ein Zeichen außerhalb von ASCII belegt 2 bis 4 Bytes.</translation>
    </message>
    <message>
        <source>Password is too long: at most 30 bytes fit in the request, and a character outside ASCII takes 2 to 4 bytes.</source>
        <translation>Das Passwort ist zu lang: Die Anfrage fasst höchstens 30 Bytes, und ein Zeichen außerhalb von ASCII belegt 2 bis 4 Bytes.</translation>
    </message>
    <message>
        <source>Interface</source>
        <translation>Schnittstelle</translation>
    </message>
    <message>
        <source>m_skSend.Create Error(%d)</source>
        <translation>m_skSend.Create: Fehler (%d)</translation>
    </message>
    <message>
        <source>m_skRecv.Create Error(%d)</source>
        <translation>m_skRecv.Create: Fehler (%d)</translation>
    </message>
    <message>
        <source>m_skSend.SetSockOpt Error(%d)!</source>
        <translation>m_skSend.SetSockOpt: Fehler (%d)!</translation>
    </message>
    <message>
        <source>m_skRecv.SetSockOpt Error(%d)!</source>
        <translation>m_skRecv.SetSockOpt: Fehler (%d)!</translation>
    </message>
    <message>
        <source>Find no devices!</source>
        <translation>Keine Geräte gefunden!</translation>
    </message>
    <message>
        <source>Cannot Create ServiceSocket Thread</source>
        <translation>ServiceSocket-Thread kann nicht erstellt werden</translation>
    </message>
    <message>
        <source>Socket Init Error</source>
        <translation>Fehler beim Initialisieren des Sockets</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1 und %2</translation>
    </message>
    <message>
        <source>No usable network interface: no interface of this computer is up with a link and broadcast. Connect the network (cable, Wi-Fi) and press Discover again.</source>
        <translation>Keine nutzbare Netzwerkschnittstelle: Keine Schnittstelle dieses Computers ist mit Verbindung und Broadcast aktiv. Verbinden Sie das Netzwerk (Kabel, WLAN) und drücken Sie erneut auf Suchen.</translation>
    </message>
    <message>
        <source>%1 has no link: its cable is out, or its Wi-Fi is not connected.</source>
        <translation>%1 hat keine Verbindung: Das Kabel ist nicht eingesteckt oder das WLAN ist nicht verbunden.</translation>
    </message>
    <message>
        <source>The answers were probably dropped by this computer. %1</source>
        <translation>Die Antworten wurden wahrscheinlich von diesem Computer verworfen. %1</translation>
    </message>
    <message>
        <source>The kernel&apos;s reverse-path filter dropped %1 packets while Pemblor listened; filtering is on for %2. It drops packets from senders that it would not route back out of the interface they came in on, such as a device outside every network of that interface, and with any filtering, every sender on an interface without an address.</source>
        <translation>Der Reverse-Path-Filter des Kernels hat %1 Pakete verworfen, während Pemblor lauschte; die Filterung ist für %2 eingeschaltet. Er verwirft Pakete von Absendern, die er nicht über die Schnittstelle zurückleiten würde, über die sie kamen, etwa von einem Gerät außerhalb aller Netze dieser Schnittstelle, und bei jeder Filterung von jedem Absender auf einer Schnittstelle ohne Adresse.</translation>
    </message>
    <message>
        <source>On %1 (strict filtering): loose filtering lets the answers in while a route back exists through some interface: sudo sysctl -w net.ipv4.conf.%1.rp_filter=2</source>
        <translation>Auf %1 (strenge Filterung): Lockere Filterung lässt die Antworten herein, solange über irgendeine Schnittstelle ein Rückweg besteht: sudo sysctl -w net.ipv4.conf.%1.rp_filter=2</translation>
    </message>
    <message>
        <source>On %1 (no address): give it an address (a link-local one will do: sudo ip addr add 169.254.10.1/16 dev %1), or turn filtering off for it: sudo sysctl -w net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.%1.rp_filter=0</source>
        <translation>Auf %1 (keine Adresse): Geben Sie ihr eine Adresse (eine link-lokale genügt: sudo ip addr add 169.254.10.1/16 dev %1) oder schalten Sie die Filterung für sie aus: sudo sysctl -w net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.%1.rp_filter=0</translation>
    </message>
    <message>
        <source>In either case, an address in the devices&apos; network on that interface lets them in, e.g. sudo ip addr add 192.168.1.100/24 dev %1.</source>
        <translation>In jedem Fall lässt eine Adresse im Netz der Geräte auf dieser Schnittstelle sie herein, z. B. sudo ip addr add 192.168.1.100/24 dev %1.</translation>
    </message>
    <message>
        <source>This computer has no address on %1, where the device at %2 answered, so it reaches the device only by broadcast and its page will probably not open. Give %1 an address in the device&apos;s network, e.g. sudo ip addr add 192.168.1.100/24 dev %1.</source>
        <translation>Dieser Computer hat keine Adresse auf %1, wo das Gerät unter %2 geantwortet hat; er erreicht das Gerät also nur per Broadcast, und seine Seite wird sich wahrscheinlich nicht öffnen. Geben Sie %1 eine Adresse im Netz des Geräts, z. B. sudo ip addr add 192.168.1.100/24 dev %1.</translation>
    </message>
    <message>
        <source>Inbound UDP 21212 is blocked on this computer: the query was sent on %1, but not even its own copy came back there, so the answers of the access points cannot come in either. The likely cause is the host firewall. Let inbound UDP 21212 in, e.g. sudo ufw allow 21212/udp, or nft add rule inet filter input udp dport 21212 accept.</source>
        <translation>Eingehendes UDP 21212 ist auf diesem Computer blockiert: Die Anfrage wurde über %1 gesendet, aber nicht einmal ihre eigene Kopie kam dort an, also können auch die Antworten der Access Points nicht ankommen. Die wahrscheinliche Ursache ist die Firewall dieses Computers. Lassen Sie eingehendes UDP 21212 zu, z. B. mit sudo ufw allow 21212/udp oder nft add rule inet filter input udp dport 21212 accept.</translation>
    </message>
    <message>
        <source>Nobody answered: the query was sent and heard on %1, but no access point&apos;s agent answered. Check that the access points are on %2 and that their agent runs.</source>
        <translation>Niemand hat geantwortet: Die Anfrage wurde über %1 gesendet und dort auch empfangen, aber kein Agent eines Access Points hat geantwortet. Prüfen Sie, ob die Access Points in %2 sind und ihr Agent läuft.</translation>
    </message>
    <message>
        <source>this network segment</source>
        <translation>diesem Netzsegment</translation>
    </message>
    <message>
        <source>one of these network segments</source>
        <translation>einem dieser Netzsegmente</translation>
    </message>
    <message>
        <source>This device&apos;s address %1 is outside this computer&apos;s network %2 on %3, so its page will probably not open. Use Setup IP to move it into that network.</source>
        <translation>Die Adresse %1 dieses Geräts liegt außerhalb des Netzes %2 dieses Computers an %3, daher öffnet sich seine Seite wahrscheinlich nicht. Verschieben Sie es mit „IP einrichten“ in dieses Netz.</translation>
    </message>
    <message>
        <source>%1 Open anyway?</source>
        <translation>%1 Trotzdem öffnen?</translation>
    </message>
    <message>
        <source>Last seen</source>
        <translation>Zuletzt gehört</translation>
    </message>
    <message>
        <source>now</source>
        <translation>jetzt</translation>
    </message>
    <message>
        <source>%d s</source>
        <translation>%d s</translation>
    </message>
    <message>
        <source>%d min</source>
        <translation>%d min</translation>
    </message>
    <message>
        <source>Not heard for %d s</source>
        <translation>Seit %d s nicht gehört</translation>
    </message>
    <message>
        <source>Only the first %1 devices are listed; %2 more answered.</source>
        <translation>Nur die ersten %1 Geräte werden aufgeführt; %2 weitere haben geantwortet.</translation>
    </message>
    <message>
        <source>%1 also answered from %2</source>
        <translation>%1 hat auch von %2 geantwortet</translation>
    </message>
    <message>
        <source>The password will be sent by broadcast: every computer on %1 can read it.</source>
        <translation>Das Passwort wird per Broadcast gesendet: Jeder Computer an %1 kann es lesen.</translation>
    </message>
    <message>
        <source>%1 does not answer by unicast. Send the password by broadcast? Every computer on %2 can read it.</source>
        <translation>%1 antwortet nicht auf Unicast. Das Passwort per Broadcast senden? Jeder Computer an %2 kann es lesen.</translation>
    </message>
    <message>
        <source>by unicast to %1 on %2, if it answers there</source>
        <translation>per Unicast an %1 über %2, falls es dort antwortet</translation>
    </message>
    <message>
        <source>by broadcast on %1: outside its network</source>
        <translation>per Broadcast über %1: außerhalb seines Netzes</translation>
    </message>
    <message>
        <source>by broadcast on %1: shares its address</source>
        <translation>per Broadcast über %1: teilt seine Adresse</translation>
    </message>
    <message>
        <source>by broadcast on %1: does not answer by unicast</source>
        <translation>per Broadcast über %1: antwortet nicht auf Unicast</translation>
    </message>
    <message>
        <source>Authentication Error!</source>
        <translation>Authentifizierungsfehler!</translation>
    </message>
    <message>
        <source>Time Out!</source>
        <translation>Zeitüberschreitung!</translation>
    </message>
    <message>
        <source>The device answered with an unknown result (%d).</source>
        <translation>Das Gerät hat mit einem unbekannten Ergebnis (%d) geantwortet.</translation>
    </message>
    <message>
        <source>The device&apos;s result is not known.</source>
        <translation>Das Ergebnis des Geräts ist nicht bekannt.</translation>
    </message>
    <message>
        <source>The device did not answer.</source>
        <translation>Das Gerät hat nicht geantwortet.</translation>
    </message>
    <message>
        <source>The detail query could not be sent: %1</source>
        <translation>Die Detailabfrage konnte nicht gesendet werden: %1</translation>
    </message>
    <message>
        <source>The change could not be sent: %1</source>
        <translation>Die Änderung konnte nicht gesendet werden: %1</translation>
    </message>
    <message>
        <source>The reboot could not be sent: %1</source>
        <translation>Der Neustart konnte nicht gesendet werden: %1</translation>
    </message>
    <message>
        <source>Stopped before the device answered the change.</source>
        <translation>Angehalten, bevor das Gerät auf die Änderung geantwortet hat.</translation>
    </message>
    <message>
        <source>Stopped before the device was seen at its new address.</source>
        <translation>Angehalten, bevor das Gerät unter seiner neuen Adresse gesehen wurde.</translation>
    </message>
    <message>
        <source>The plan puts %1 on %2, where %3 answers now; nothing was changed.</source>
        <translation>Der Plan setzt %1 auf %2, wo jetzt %3 antwortet; es wurde nichts geändert.</translation>
    </message>
    <message>
        <source>The device did not answer after restarting. It may be at its new address %1 or still restarting.</source>
        <translation>Das Gerät hat nach dem Neustart nicht geantwortet. Es ist vielleicht unter seiner neuen Adresse %1 erreichbar oder startet noch.</translation>
    </message>
    <message>
        <source>The device did not answer after restarting. It may still be restarting.</source>
        <translation>Das Gerät hat nach dem Neustart nicht geantwortet. Vielleicht startet es noch.</translation>
    </message>
    <message>
        <source>The device did not answer after restarting. With DHCP on, it may have taken another address, or it may still be restarting.</source>
        <translation>Das Gerät hat nach dem Neustart nicht geantwortet. Mit DHCP hat es vielleicht eine andere Adresse bekommen, oder es startet noch.</translation>
    </message>
    <message>
        <source>With DHCP on, the device kept answering from %1 and was not seen restarting.</source>
        <translation>Mit DHCP hat das Gerät weiter von %1 geantwortet; ein Neustart war nicht zu sehen.</translation>
    </message>
    <message>
        <source>After restarting, the device answered only from its old address %1, not from its new address %2: the change may not have taken effect.</source>
        <translation>Nach dem Neustart hat das Gerät nur von seiner alten Adresse %1 geantwortet, nicht von seiner neuen Adresse %2: Die Änderung ist vielleicht nicht wirksam geworden.</translation>
    </message>
    <message>
        <source>After restarting, the device answered from %1, not from its new address %2.</source>
        <translation>Nach dem Neustart hat das Gerät von %1 geantwortet, nicht von seiner neuen Adresse %2.</translation>
    </message>
    <message>
        <source>After restarting, the device answered from %1, not from its address %2.</source>
        <translation>Nach dem Neustart hat das Gerät von %1 geantwortet, nicht von seiner Adresse %2.</translation>
    </message>
    <message>
        <source>After restarting, the device answered from %1 with netmask %2, not with netmask %3: it may not have taken the netmask.</source>
        <translation>Nach dem Neustart hat das Gerät von %1 mit der Netzmaske %2 geantwortet, nicht mit der Netzmaske %3: Es hat die Netzmaske vielleicht nicht übernommen.</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
    <message>
        <source>%1 is outside this computer&apos;s networks: its password would be broadcast to every host on %2.</source>
        <translation>%1 liegt außerhalb der Netze dieses Computers: Sein Passwort würde per Broadcast an jeden Rechner an %2 gesendet.</translation>
    </message>
    <message>
        <source>%1 shares its address with another device: its password would be broadcast to every host on %2.</source>
        <translation>%1 teilt seine Adresse mit einem anderen Gerät: Sein Passwort würde per Broadcast an jeden Rechner an %2 gesendet.</translation>
    </message>
    <message>
        <source>%1 does not answer by unicast: its password would be broadcast to every host on %2.</source>
        <translation>%1 antwortet nicht auf Unicast: Sein Passwort würde per Broadcast an jeden Rechner an %2 gesendet.</translation>
    </message>
    <message>
        <source>The device&apos;s result cannot be told from that of %1, which commanded it at the same time.</source>
        <translation>Das Ergebnis des Geräts lässt sich nicht von dem von %1 unterscheiden, das es zur selben Zeit angewiesen hat.</translation>
    </message>
</context>
<context>
    <name>QPlatformTheme</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>pemblor::CAboutDlg</name>
    <message>
        <source>About Pemblor</source>
        <translation>Über Pemblor</translation>
    </message>
    <message>
        <source>Pemblor Version 1.0</source>
        <translation>Pemblor Version 1.0</translation>
    </message>
    <message>
        <source>Sets up access point addresses</source>
        <translation>Adressierung von Access Points</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>pemblor::CDeviceListDlg</name>
    <message>
        <source>Quarnel Access Point Configuration Tool</source>
        <translation>Quarnel Konfigurationsprogramm für Access Points</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Devices</source>
        <translation>Geräte</translation>
    </message>
    <message>
        <source>Reverse-path filter</source>
        <translation>Reverse-Path-Filter</translation>
    </message>
    <message>
        <source>Keep discovering</source>
        <translation>Laufend suchen</translation>
    </message>
    <message>
        <source>Discover</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Setup IP</source>
        <translation>IP einrichten</translation>
    </message>
    <message>
        <source>Connect to Web Server</source>
        <translation>Webseite öffnen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>&amp;About Pemblor...</source>
        <translation>Ü&amp;ber Pemblor...</translation>
    </message>
    <message>
        <source>UDP port 21212 is in use by a program that does not share it.</source>
        <translation>Der UDP-Port 21212 ist von einem Programm belegt, das ihn nicht teilt.</translation>
    </message>
    <message>
        <source>UDP port 21212 is in use by a program that does not share it: %1.</source>
        <translation>Der UDP-Port 21212 ist von einem Programm belegt, das ihn nicht teilt: %1.</translation>
    </message>
    <message>
        <source>A device is restarting. Close Pemblor and stop waiting for it?</source>
        <translation>Ein Gerät startet gerade neu. Pemblor schließen und nicht länger darauf warten?</translation>
    </message>
    <message>
        <source>%1 of %2 devices</source>
        <translation>%1 von %2 Geräten</translation>
    </message>
    <message>
        <source>Setup IP ...</source>
        <translation>IP einrichten ...</translation>
    </message>
    <message>
        <source>Connect to web server ...</source>
        <translation>Webseite öffnen ...</translation>
    </message>
    <message>
        <source>Export list...</source>
        <translation>Liste exportieren ...</translation>
    </message>
    <message>
        <source>Export list</source>
        <translation>Liste exportieren</translation>
    </message>
    <message>
        <source>CSV files (*.csv);;All files (*)</source>
        <translation>CSV-Dateien (*.csv);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Cannot save the list: %1</source>
        <translation>Die Liste kann nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>%1

Go on with the device at %2?</source>
        <translation>%1

Mit dem Gerät unter %2 fortfahren?</translation>
    </message>
</context>
<context>
    <name>pemblor::CSetupIpDlg</name>
    <message>
        <source>Setup IP Address</source>
        <translation>IP-Adresse einrichten</translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation>IP-Adresse</translation>
    </message>
    <message>
        <source>DHCP Client Enabled</source>
        <translation>DHCP-Client aktiviert</translation>
    </message>
    <message>
        <source>IP Address: </source>
        <translation>IP-Adresse: </translation>
    </message>
    <message>
        <source>Netmask: </source>
        <translation>Netzmaske: </translation>
    </message>
    <message>
        <source>Default Gateway: </source>
        <translation>Standard-Gateway: </translation>
    </message>
    <message>
        <source>User Name:</source>
        <translation>Benutzername:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Passwort:</translation>
    </message>
    <message>
        <source>&amp;Apply Changes</source>
        <translation>Ü&amp;bernehmen</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>Change setting successfully!

Do you want to reboot the target to take effect immediately?</source>
        <translation>Einstellungen erfolgreich geändert!

Soll das Gerät jetzt neu gestartet werden, damit sie sofort wirksam werden?</translation>
    </message>
    <message>
        <source>It may take about one minute to reboot the target.</source>
        <translation>Der Neustart des Geräts kann etwa eine Minute dauern.</translation>
    </message>
    <message>
        <source>Waiting for the device to restart… %d s</source>
        <translation>Warten auf Neustart des Geräts… %d s</translation>
    </message>
    <message>
        <source>Reading the device&apos;s settings… %d s</source>
        <translation>Geräteeinstellungen werden gelesen… %d s</translation>
    </message>
    <message>
        <source>The device is restarting. Stop waiting for it?</source>
        <translation>Das Gerät startet gerade neu. Nicht länger darauf warten?</translation>
    </message>
    <message>
        <source>Never broadcast the password</source>
        <translation>Das Passwort nie per Broadcast senden</translation>
    </message>
    <message>
        <source>Press Discover to look for it.</source>
        <translation>Klicken Sie auf „Suchen“, um es zu finden.</translation>
    </message>
</context>
<context>
    <name>pemblor::QtIpAddressCtrl</name>
    <message>
        <source>%1 is not a valid entry. Please specify a value between %2 and %3.</source>
        <translation>%1 ist kein gültiger Eintrag. Bitte geben Sie einen Wert zwischen %2 und %3 an.</translation>
    </message>
    <message>
        <source>Field %1 of %2</source>
        <translation>Feld %1 von %2</translation>
    </message>
    <message>
        <source>%1, field %2 of %3</source>
        <translation>%1, Feld %2 von %3</translation>
    </message>
</context>
<context>
    <name>pemblor::SetupIpManyDialog</name>
    <message>
        <source>&amp;Start address:</source>
        <translation>S&amp;tartadresse:</translation>
    </message>
    <message>
        <source>Start address</source>
        <translation>Startadresse</translation>
    </message>
    <message>
        <source>&amp;Netmask:</source>
        <translation>&amp;Netzmaske:</translation>
    </message>
    <message>
        <source>Netmask</source>
        <translation>Netzmaske</translation>
    </message>
    <message>
        <source>&amp;Gateway:</source>
        <translation>&amp;Gateway:</translation>
    </message>
    <message>
        <source>Gateway</source>
        <translation>Gateway</translation>
    </message>
    <message>
        <source>&amp;DHCP:</source>
        <translation>&amp;DHCP:</translation>
    </message>
    <message>
        <source>DHCP</source>
        <translation>DHCP</translation>
    </message>
    <message>
        <source>Leave as it is</source>
        <translation>Unverändert lassen</translation>
    </message>
    <message>
        <source>On</source>
        <translation>Ein</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>&amp;User name:</source>
        <translation>&amp;Benutzername:</translation>
    </message>
    <message>
        <source>User name</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>&amp;Password:</source>
        <translation>&amp;Passwort:</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Reboot the devices after the change</source>
        <translation>Geräte nach der Änderung neu starten</translation>
    </message>
    <message>
        <source>&amp;Reboot the devices after the change</source>
        <translation>Geräte nach der Änderung neu sta&amp;rten</translation>
    </message>
    <message>
        <source>A blank netmask or gateway is left as it is.</source>
        <translation>Eine leere Netzmaske oder ein leeres Gateway bleibt unverändert.</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nr.</translation>
    </message>
    <message>
        <source>SSID</source>
        <translation>SSID</translation>
    </message>
    <message>
        <source>MAC</source>
        <translation>MAC</translation>
    </message>
    <message>
        <source>Current address</source>
        <translation>Aktuelle Adresse</translation>
    </message>
    <message>
        <source>Planned address</source>
        <translation>Geplante Adresse</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Hinweis</translation>
    </message>
    <message>
        <source>Setup IP for %1 devices</source>
        <translation>IP-Einstellungen für %1 Geräte</translation>
    </message>
    <message>
        <source>&amp;Apply</source>
        <translation>&amp;Anwenden</translation>
    </message>
    <message>
        <source>&amp;Export result...</source>
        <translation>&amp;Ergebnis exportieren...</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>Type the start address; the devices get addresses upward from it.</source>
        <translation>Geben Sie die Startadresse ein; die Geräte erhalten Adressen aufsteigend ab dieser.</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Applying...</source>
        <translation>Wird angewendet...</translation>
    </message>
    <message>
        <source>Skips %1 (in use)</source>
        <translation>Überspringt %1 (belegt)</translation>
    </message>
    <message>
        <source>Refused: %1</source>
        <translation>Abgelehnt: %1</translation>
    </message>
    <message>
        <source>Waiting</source>
        <translation>Wartet</translation>
    </message>
    <message>
        <source>Reading</source>
        <translation>Wird gelesen</translation>
    </message>
    <message>
        <source>Changing</source>
        <translation>Wird geändert</translation>
    </message>
    <message>
        <source>Rebooting</source>
        <translation>Startet neu</translation>
    </message>
    <message>
        <source>Waiting %1 s</source>
        <translation>Wartet %1 s</translation>
    </message>
    <message>
        <source>Stopped; nothing was sent</source>
        <translation>Abgebrochen; nichts wurde gesendet</translation>
    </message>
    <message>
        <source>Verified</source>
        <translation>Bestätigt</translation>
    </message>
    <message>
        <source>Stored; takes effect after a reboot</source>
        <translation>Gespeichert; gilt nach einem Neustart</translation>
    </message>
    <message>
        <source>Unchanged; it holds the plan already</source>
        <translation>Unverändert; das Gerät entspricht bereits dem Plan</translation>
    </message>
    <message>
        <source>Failed: %1</source>
        <translation>Fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>%1 verified</source>
        <translation>%1 bestätigt</translation>
    </message>
    <message>
        <source>%1 stored</source>
        <translation>%1 gespeichert</translation>
    </message>
    <message>
        <source>%1 unchanged</source>
        <translation>%1 unverändert</translation>
    </message>
    <message>
        <source>%1 authentication error</source>
        <translation>%1 Authentifizierungsfehler</translation>
    </message>
    <message>
        <source>%1 authentication errors</source>
        <translation>%1 Authentifizierungsfehler</translation>
    </message>
    <message>
        <source>%1 timed out</source>
        <translation>%1 mit Zeitüberschreitung</translation>
    </message>
    <message>
        <source>%1 not found</source>
        <translation>%1 nicht gefunden</translation>
    </message>
    <message>
        <source>%1 unknown result</source>
        <translation>%1 unbekanntes Ergebnis</translation>
    </message>
    <message>
        <source>%1 unknown results</source>
        <translation>%1 unbekannte Ergebnisse</translation>
    </message>
    <message>
        <source>%1 not seen at its new address</source>
        <translation>%1 unter der neuen Adresse nicht gesehen</translation>
    </message>
    <message>
        <source>%1 not seen at their new addresses</source>
        <translation>%1 unter den neuen Adressen nicht gesehen</translation>
    </message>
    <message>
        <source>%1 refused</source>
        <translation>%1 abgelehnt</translation>
    </message>
    <message>
        <source>%1 not rebooted</source>
        <translation>%1 nicht neu gestartet</translation>
    </message>
    <message>
        <source>%1 stopped before any change</source>
        <translation>%1 vor einer Änderung abgebrochen</translation>
    </message>
    <message>
        <source>Export result</source>
        <translation>Ergebnis exportieren</translation>
    </message>
    <message>
        <source>CSV files (*.csv);;All files (*)</source>
        <translation>CSV-Dateien (*.csv);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Cannot save the result: %1</source>
        <translation>Das Ergebnis kann nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>The devices are being changed. Stop now? Devices already sent a change are reported as they stand.</source>
        <translation>Die Geräte werden gerade geändert. Jetzt abbrechen? Geräte, denen schon eine Änderung gesendet wurde, werden mit ihrem bisherigen Stand gemeldet.</translation>
    </message>
    <message>
        <source>Never broadcast the password</source>
        <translation>Das Passwort nie per Broadcast senden</translation>
    </message>
    <message>
        <source>%1 not changed (password not broadcast)</source>
        <translation>%1 nicht geändert (Passwort nicht per Broadcast gesendet)</translation>
    </message>
    <message>
        <source>%1 not changed (passwords not broadcast)</source>
        <translation>%1 nicht geändert (Passwörter nicht per Broadcast gesendet)</translation>
    </message>
    <message>
        <source>Not changed: %1</source>
        <translation>Nicht geändert: %1</translation>
    </message>
    <message>
        <source>Reverse-path filter</source>
        <translation>Reverse-Path-Filter</translation>
    </message>
    <message>
        <source>Left as it is: %1 had its address before too</source>
        <translation>Belassen: %1 hatte seine Adresse vorher ebenfalls</translation>
    </message>
    <message>
        <source>Left as it is: %1</source>
        <translation>Belassen: %1</translation>
    </message>
    <message>
        <source>Left as it is: it took no change</source>
        <translation>Belassen: es wurde nichts geändert</translation>
    </message>
    <message>
        <source>%1 left as it was</source>
        <translation>%1 belassen</translation>
    </message>
    <message>
        <source>%1 left as they were</source>
        <translation>%1 belassen</translation>
    </message>
    <message>
        <source>Put back: %1</source>
        <translation>Zurückgesetzt: %1</translation>
    </message>
    <message>
        <source>&amp;Put back</source>
        <translation>&amp;Zurücksetzen</translation>
    </message>
    <message>
        <source>Gives every device that took a change, or may have taken one, the address, netmask, gateway and DHCP it had before</source>
        <translation>Gibt jedem Gerät, das eine Änderung übernommen hat oder übernommen haben kann, die Adresse, Netzmaske, das Gateway und DHCP zurück, die es vorher hatte</translation>
    </message>
    <message>
        <source>Putting back...</source>
        <translation>Wird zurückgesetzt...</translation>
    </message>
</context>
</TS>
