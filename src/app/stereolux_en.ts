<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="en" sourcelanguage="fr">
<context>
    <name>CommandLine</name>
    <message>
        <source>argument inattendu « %1 »</source>
        <translation>unexpected argument '%1'</translation>
    </message>
    <message>
        <source>l'option « %1 » demande une valeur</source>
        <translation>option '%1' needs a value</translation>
    </message>
    <message>
        <source>option inconnue « %1 »</source>
        <translation>unknown option '%1'</translation>
    </message>
    <message>
        <source>Utilisation : stereolux [OPTION]...
Vumètre stéréo : affiche le niveau gauche et droit d'une entrée de la carte son.

  -h, --help     affiche cette aide et quitte
  -V, --version  affiche la version et quitte

Les options de Qt (-platform, -display, -style...) sont transmises à Qt.
</source>
        <translation>Usage: stereolux [OPTION]...
Stereo level meter: shows the left and right level of a sound-card input.

  -h, --help     display this help and exit
  -V, --version  output version information and exit

Qt's own options (-platform, -display, -style...) are passed on to Qt.
</translation>
    </message>
    <message>
        <source>aucun affichage utilisable (DISPLAY ou WAYLAND_DISPLAY)</source>
        <translation>no usable display (DISPLAY or WAYLAND_DISPLAY)</translation>
    </message>
</context>
<context>
    <name>TClipIndicator</name>
    <message>
        <source>Écrêtage : cliquer pour éteindre</source>
        <translation>Clipping: click to clear</translation>
    </message>
</context>
<context>
    <name>TLiveInputs</name>
    <message>
        <source>Aucune entrée audio n'est disponible.</source>
        <translation>No audio input is available.</translation>
    </message>
</context>
<context>
    <name>TfmAbout</name>
    <message>
        <source>Merci aux premiers utilisateurs</source>
        <translation>Thanks to the first users</translation>
    </message>
    <message>
        <source>pour leurs essais et leurs idées,</source>
        <translation>for their trials and their ideas,</translation>
    </message>
    <message>
        <source>et aux auteurs du logiciel libre.</source>
        <translation>and to the authors of free software.</translation>
    </message>
    <message>
        <source>A propos...</source>
        <translation>About...</translation>
    </message>
    <message>
        <source>Remerciements</source>
        <translation>Thanks</translation>
    </message>
    <message>
        <source>Version :</source>
        <translation>Version:</translation>
    </message>
    <message>
        <source>Copyright :</source>
        <translation>Copyright:</translation>
    </message>
    <message>
        <source>Commentaires :</source>
        <translation>Comments:</translation>
    </message>
    <message>
        <source>Petit vumètre redimensionnable</source>
        <translation>Small resizable level meter</translation>
    </message>
</context>
<context>
    <name>TfmMain</name>
    <message>
        <source>&amp;Quitter</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>&amp;Index de l'aide</source>
        <translation>Help &amp;index</translation>
    </message>
    <message>
        <source>&amp;Lisez-moi...</source>
        <translation>&amp;Readme...</translation>
    </message>
    <message>
        <source>&amp;A propos...</source>
        <translation>&amp;About...</translation>
    </message>
    <message>
        <source>&amp;Horizontal</source>
        <translation>&amp;Horizontal</translation>
    </message>
    <message>
        <source>&amp;Vertical</source>
        <translation>&amp;Vertical</translation>
    </message>
    <message>
        <source>Mode &amp;Barre</source>
        <translation>&amp;Bar mode</translation>
    </message>
    <message>
        <source>Mode &amp;Point</source>
        <translation>D&amp;ot mode</translation>
    </message>
    <message>
        <source>Montrer panneau de &amp;configuration</source>
        <translation>Show &amp;configuration panel</translation>
    </message>
    <message>
        <source>Montrer panneau des &amp;niveaux</source>
        <translation>Show &amp;level panel</translation>
    </message>
    <message>
        <source>&amp;Afficher la mémorisation des crêtes</source>
        <translation>Show &amp;peak memory</translation>
    </message>
    <message>
        <source>&amp;Reset mémorisation des crêtes</source>
        <translation>&amp;Reset peak memory</translation>
    </message>
    <message>
        <source>Afficher valeurs en p&amp;ourcentage (crêtes mémorisées)</source>
        <translation>Show values in perc&amp;ent (peak memory)</translation>
    </message>
    <message>
        <source>Afficher valeurs en &amp;dBFS (valeurs en cours)</source>
        <translation>Show values in &amp;dBFS (current values)</translation>
    </message>
    <message>
        <source>&amp;Toujours au premier plan</source>
        <translation>Always on &amp;top</translation>
    </message>
    <message>
        <source>&amp;Fichier</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>&amp;Source</source>
        <translation>&amp;Source</translation>
    </message>
    <message>
        <source>&amp;Affichage</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>Afficher valeurs en &amp;dBFS</source>
        <translation>Show values in &amp;dBFS</translation>
    </message>
    <message>
        <source>Afficher valeurs en p&amp;ourcentage</source>
        <translation>Show values in perc&amp;ent</translation>
    </message>
    <message>
        <source>A&amp;ide</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>Relachement</source>
        <translation>Release</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>Afficher l'é&amp;chelle en dB</source>
        <translation>Show dB &amp;scale</translation>
    </message>
    <message>
        <source>Cliquer pour remettre la crête de ce canal à zéro</source>
        <translation>Click to reset this channel's peak</translation>
    </message>
</context>
</TS>