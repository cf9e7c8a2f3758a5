-- SQLite: the triggers that keep movimento_mensal in step with movimento_diario. Run after schema.sql.
--
-- Each write recomputes the sums of the branch-months it touched from their daily rows (at most a
-- month of one branch, read through the primary key), so the stored sums are sums of the rows as they
-- are, not a running total of doubles that drifts in its last digits as rows come and go. SQLite lets
-- one writer in at a time, so a recomputation always sees every committed row.
--
-- A bulk load (kpd-appserver --import) puts a row in movimento_mensal_carga inside its own
-- transaction, writes the daily rows with the triggers standing aside, names each branch-month it
-- touched once in movimento_mensal_refazer, and takes the row out before it commits: nobody else ever sees the row, and a load that
-- fails rolls the row back with everything else. (A row seen outside a load makes kpd-appserver sum
-- the summary again at its next start.)
CREATE TABLE IF NOT EXISTS movimento_mensal_carga (
    ativa       INTEGER NOT NULL
);

-- A row after every other of its branch-month (a load in date order) adds to the sums: SQLite's SUM adds
-- in that same order, so the result is the recomputation's, to the last bit, without reading the month's
-- figures. Only when the month has exactly one row more than the sums count, though: INSERT OR REPLACE
-- (and REPLACE) takes out the row it replaces without any delete trigger (unless recursive_triggers is
-- on), so an insert over an existing day would otherwise add to sums that still hold the old day. The
-- count reads the primary key alone.
CREATE TRIGGER movimento_mensal_inclusao AFTER INSERT ON movimento_diario
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
 AND NOT EXISTS (SELECT 1 FROM movimento_diario
                  WHERE cdfilial = NEW.cdfilial AND dtmovimento > NEW.dtmovimento
                    AND dtmovimento < date(NEW.dtmovimento, 'start of month', '+1 month'))
 AND (SELECT COUNT(*) FROM movimento_diario
       WHERE cdfilial = NEW.cdfilial AND dtmovimento >= date(NEW.dtmovimento, 'start of month')
         AND dtmovimento <= NEW.dtmovimento)
     = 1 + COALESCE((SELECT qtdias FROM movimento_mensal
                      WHERE mes = date(NEW.dtmovimento, 'start of month') AND cdfilial = NEW.cdfilial), 0)
BEGIN
    INSERT INTO movimento_mensal (mes, cdfilial, vrfatliq, vrconsumo, vrmdo, vrdespesas, qtdias, vrestoque)
    VALUES (date(NEW.dtmovimento, 'start of month'), NEW.cdfilial,
            NEW.vrfatliq, NEW.vrconsumo, NEW.vrmdo, NEW.vrdespesas, 1,
            (SELECT vrestoque FROM estoque_mensal
              WHERE cdfilial = NEW.cdfilial AND mes = date(NEW.dtmovimento, 'start of month')))
    ON CONFLICT (mes, cdfilial) DO UPDATE
       SET vrfatliq = vrfatliq + excluded.vrfatliq,
           vrconsumo = vrconsumo + excluded.vrconsumo,
           vrmdo = vrmdo + excluded.vrmdo,
           vrdespesas = vrdespesas + excluded.vrdespesas,
           qtdias = qtdias + 1;
END;

-- The branch-months to sum again. Every write that cannot simply add names its branch-months here, and
-- so does a load once per branch-month it touched: the trigger below is the one place SQLite sums a
-- month of days, in date order through the primary key, and leaves the table empty again.
CREATE TABLE IF NOT EXISTS movimento_mensal_refazer (
    mes         DATE    NOT NULL,
    cdfilial    INTEGER NOT NULL
);

CREATE TRIGGER movimento_mensal_refazer_soma AFTER INSERT ON movimento_mensal_refazer
BEGIN
    DELETE FROM movimento_mensal WHERE mes = NEW.mes AND cdfilial = NEW.cdfilial;
    INSERT INTO movimento_mensal (mes, cdfilial, vrfatliq, vrconsumo, vrmdo, vrdespesas, qtdias, vrestoque)
    SELECT NEW.mes, cdfilial, SUM(vrfatliq), SUM(vrconsumo), SUM(vrmdo), SUM(vrdespesas), COUNT(*),
           (SELECT vrestoque FROM estoque_mensal WHERE cdfilial = NEW.cdfilial AND mes = NEW.mes)
      FROM movimento_diario
     WHERE cdfilial = NEW.cdfilial AND dtmovimento >= NEW.mes AND dtmovimento < date(NEW.mes, '+1 month')
     GROUP BY cdfilial;
    DELETE FROM movimento_mensal_refazer WHERE rowid = NEW.rowid;
END;

-- Any other insert (a row before some other of its month, or one that replaced a day): the month summed
-- again. Exactly one of the two insert triggers runs.
CREATE TRIGGER movimento_mensal_inclusao_anterior AFTER INSERT ON movimento_diario
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
 AND (EXISTS (SELECT 1 FROM movimento_diario
               WHERE cdfilial = NEW.cdfilial AND dtmovimento > NEW.dtmovimento
                 AND dtmovimento < date(NEW.dtmovimento, 'start of month', '+1 month'))
      OR (SELECT COUNT(*) FROM movimento_diario
           WHERE cdfilial = NEW.cdfilial AND dtmovimento >= date(NEW.dtmovimento, 'start of month')
             AND dtmovimento <= NEW.dtmovimento)
         <> 1 + COALESCE((SELECT qtdias FROM movimento_mensal
                           WHERE mes = date(NEW.dtmovimento, 'start of month') AND cdfilial = NEW.cdfilial), 0))
BEGIN
    INSERT INTO movimento_mensal_refazer VALUES (date(NEW.dtmovimento, 'start of month'), NEW.cdfilial);
END;

CREATE TRIGGER movimento_mensal_exclusao AFTER DELETE ON movimento_diario
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
BEGIN
    INSERT INTO movimento_mensal_refazer VALUES (date(OLD.dtmovimento, 'start of month'), OLD.cdfilial);
END;

-- An update may move a row to another branch or month: both the old and the new branch-month.
CREATE TRIGGER movimento_mensal_alteracao AFTER UPDATE ON movimento_diario
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
BEGIN
    INSERT INTO movimento_mensal_refazer VALUES (date(OLD.dtmovimento, 'start of month'), OLD.cdfilial);
    INSERT INTO movimento_mensal_refazer VALUES (date(NEW.dtmovimento, 'start of month'), NEW.cdfilial);
END;

-- The month's totals per region: movimento_mensal added up by the region each branch is in, so a
-- month's company and region figures (and the months compared) are read from a few dozen rows. Kept by
-- the triggers below, which add each summary row's change (new minus old) in the writer's transaction; a
-- load stands aside as for the summary and kpd-appserver adds up the months it loaded again at its end,
-- as --rebuild-summary does for every month. A row whose branches all went is taken out, so the last
-- bits of the REAL sums start afresh with the next.
CREATE TABLE IF NOT EXISTS movimento_regional_mensal (
    mes         DATE    NOT NULL,
    cdareagere  TEXT    NOT NULL,
    qtfiliais   INTEGER NOT NULL,
    vrfatliq    NUMERIC NOT NULL,
    vrconsumo   NUMERIC NOT NULL,
    vrmdo       NUMERIC NOT NULL,
    vrdespesas  NUMERIC NOT NULL,
    PRIMARY KEY (mes, cdareagere)
);

CREATE TRIGGER movimento_regional_inclusao AFTER INSERT ON movimento_mensal
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga) AND NEW.qtdias > 0
BEGIN
    INSERT INTO movimento_regional_mensal (mes, cdareagere, qtfiliais, vrfatliq, vrconsumo, vrmdo, vrdespesas)
    SELECT NEW.mes, cdareagere, 1, NEW.vrfatliq, NEW.vrconsumo, NEW.vrmdo, NEW.vrdespesas
      FROM filial WHERE cdfilial = NEW.cdfilial
    ON CONFLICT (mes, cdareagere) DO UPDATE
       SET qtfiliais = qtfiliais + 1,
           vrfatliq = vrfatliq + excluded.vrfatliq,
           vrconsumo = vrconsumo + excluded.vrconsumo,
           vrmdo = vrmdo + excluded.vrmdo,
           vrdespesas = vrdespesas + excluded.vrdespesas;
END;

CREATE TRIGGER movimento_regional_exclusao AFTER DELETE ON movimento_mensal
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga) AND OLD.qtdias > 0
BEGIN
    UPDATE movimento_regional_mensal
       SET qtfiliais = qtfiliais - 1,
           vrfatliq = vrfatliq - OLD.vrfatliq,
           vrconsumo = vrconsumo - OLD.vrconsumo,
           vrmdo = vrmdo - OLD.vrmdo,
           vrdespesas = vrdespesas - OLD.vrdespesas
     WHERE mes = OLD.mes AND cdareagere = (SELECT cdareagere FROM filial WHERE cdfilial = OLD.cdfilial);
    DELETE FROM movimento_regional_mensal
     WHERE mes = OLD.mes AND cdareagere = (SELECT cdareagere FROM filial WHERE cdfilial = OLD.cdfilial)
       AND qtfiliais <= 0;
END;

-- The old row out and the new one in: an update may move the row to another month or branch. (The copy
-- of the stock changes no total.)
CREATE TRIGGER movimento_regional_alteracao
AFTER UPDATE OF mes, cdfilial, vrfatliq, vrconsumo, vrmdo, vrdespesas, qtdias ON movimento_mensal
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
BEGIN
    UPDATE movimento_regional_mensal
       SET qtfiliais = qtfiliais - 1,
           vrfatliq = vrfatliq - OLD.vrfatliq,
           vrconsumo = vrconsumo - OLD.vrconsumo,
           vrmdo = vrmdo - OLD.vrmdo,
           vrdespesas = vrdespesas - OLD.vrdespesas
     WHERE OLD.qtdias > 0
       AND mes = OLD.mes AND cdareagere = (SELECT cdareagere FROM filial WHERE cdfilial = OLD.cdfilial);
    DELETE FROM movimento_regional_mensal
     WHERE mes = OLD.mes AND cdareagere = (SELECT cdareagere FROM filial WHERE cdfilial = OLD.cdfilial)
       AND qtfiliais <= 0;
    INSERT INTO movimento_regional_mensal (mes, cdareagere, qtfiliais, vrfatliq, vrconsumo, vrmdo, vrdespesas)
    SELECT NEW.mes, cdareagere, 1, NEW.vrfatliq, NEW.vrconsumo, NEW.vrmdo, NEW.vrdespesas
      FROM filial WHERE cdfilial = NEW.cdfilial AND NEW.qtdias > 0
    ON CONFLICT (mes, cdareagere) DO UPDATE
       SET qtfiliais = qtfiliais + 1,
           vrfatliq = vrfatliq + excluded.vrfatliq,
           vrconsumo = vrconsumo + excluded.vrconsumo,
           vrmdo = vrmdo + excluded.vrmdo,
           vrdespesas = vrdespesas + excluded.vrdespesas;
END;

-- A branch moved to another region takes its months along. Only a real move fires it (an import writes
-- every branch it names again); a move is rare, so its months are found without an index of their own.
CREATE TRIGGER movimento_regional_filial AFTER UPDATE OF cdfilial, cdareagere ON filial
WHEN OLD.cdareagere IS NOT NEW.cdareagere OR OLD.cdfilial IS NOT NEW.cdfilial
BEGIN
    UPDATE movimento_regional_mensal
       SET qtfiliais = movimento_regional_mensal.qtfiliais - 1,
           vrfatliq = movimento_regional_mensal.vrfatliq - m.vrfatliq,
           vrconsumo = movimento_regional_mensal.vrconsumo - m.vrconsumo,
           vrmdo = movimento_regional_mensal.vrmdo - m.vrmdo,
           vrdespesas = movimento_regional_mensal.vrdespesas - m.vrdespesas
      FROM (SELECT * FROM movimento_mensal WHERE cdfilial = OLD.cdfilial AND qtdias > 0) AS m
     WHERE movimento_regional_mensal.mes = m.mes AND movimento_regional_mensal.cdareagere = OLD.cdareagere;
    DELETE FROM movimento_regional_mensal WHERE cdareagere = OLD.cdareagere AND qtfiliais <= 0;
    INSERT INTO movimento_regional_mensal (mes, cdareagere, qtfiliais, vrfatliq, vrconsumo, vrmdo, vrdespesas)
    SELECT mes, NEW.cdareagere, 1, vrfatliq, vrconsumo, vrmdo, vrdespesas
      FROM movimento_mensal WHERE cdfilial = NEW.cdfilial AND qtdias > 0
    ON CONFLICT (mes, cdareagere) DO UPDATE
       SET qtfiliais = qtfiliais + 1,
           vrfatliq = vrfatliq + excluded.vrfatliq,
           vrconsumo = vrconsumo + excluded.vrconsumo,
           vrmdo = vrmdo + excluded.vrmdo,
           vrdespesas = vrdespesas + excluded.vrdespesas;
END;

-- Each day's revenue per region: movimento_diario added up by the region each branch is in, so the same
-- month a year before gives its revenue up to any day (the pace a partial month is projected with) from a
-- month's few hundred rows. Kept by the triggers below, row by row in the writer's transaction, standing
-- aside during a load as the summary does (kpd-appserver adds the loaded months up again at its end, and
-- --rebuild-summary every month). A region-day whose rows all went is taken out.
CREATE TABLE IF NOT EXISTS movimento_regional_diario (
    dtmovimento DATE    NOT NULL,
    cdareagere  TEXT    NOT NULL,
    qtfiliais   INTEGER NOT NULL,     -- daily rows added up (branches with figures that day)
    vrfatliq    NUMERIC NOT NULL,
    PRIMARY KEY (dtmovimento, cdareagere)
);

-- INSERT OR REPLACE, REPLACE and UPDATE OR REPLACE take out the row they replace without a delete trigger:
-- the row a write may replace is noted just before it, and taken out of its region-day after it only if the
-- write did happen in its place (an upsert's update, or an ignored insert, leaves the note, which the next
-- write of that day overwrites).
CREATE TABLE IF NOT EXISTS movimento_regional_diario_substituido (
    cdfilial    INTEGER NOT NULL,
    dtmovimento DATE    NOT NULL,
    vrfatliq    NUMERIC NOT NULL,
    PRIMARY KEY (cdfilial, dtmovimento)
);

CREATE TRIGGER movimento_regional_diario_antes BEFORE INSERT ON movimento_diario
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
BEGIN
    DELETE FROM movimento_regional_diario_substituido WHERE cdfilial = NEW.cdfilial AND dtmovimento = NEW.dtmovimento;
    INSERT INTO movimento_regional_diario_substituido (cdfilial, dtmovimento, vrfatliq)
    SELECT cdfilial, dtmovimento, vrfatliq FROM movimento_diario WHERE cdfilial = NEW.cdfilial AND dtmovimento = NEW.dtmovimento;
END;

CREATE TRIGGER movimento_regional_diario_inclusao AFTER INSERT ON movimento_diario
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
BEGIN
    UPDATE movimento_regional_diario
       SET qtfiliais = movimento_regional_diario.qtfiliais - 1,
           vrfatliq = movimento_regional_diario.vrfatliq - s.vrfatliq
      FROM (SELECT vrfatliq FROM movimento_regional_diario_substituido
             WHERE cdfilial = NEW.cdfilial AND dtmovimento = NEW.dtmovimento) AS s
     WHERE movimento_regional_diario.dtmovimento = NEW.dtmovimento
       AND movimento_regional_diario.cdareagere = (SELECT cdareagere FROM filial WHERE cdfilial = NEW.cdfilial);
    DELETE FROM movimento_regional_diario_substituido WHERE cdfilial = NEW.cdfilial AND dtmovimento = NEW.dtmovimento;
    INSERT INTO movimento_regional_diario (dtmovimento, cdareagere, qtfiliais, vrfatliq)
    SELECT NEW.dtmovimento, cdareagere, 1, NEW.vrfatliq FROM filial WHERE cdfilial = NEW.cdfilial
    ON CONFLICT (dtmovimento, cdareagere) DO UPDATE
       SET qtfiliais = qtfiliais + 1, vrfatliq = vrfatliq + excluded.vrfatliq;
END;

CREATE TRIGGER movimento_regional_diario_exclusao AFTER DELETE ON movimento_diario
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
BEGIN
    UPDATE movimento_regional_diario SET qtfiliais = qtfiliais - 1, vrfatliq = vrfatliq - OLD.vrfatliq
     WHERE dtmovimento = OLD.dtmovimento AND cdareagere = (SELECT cdareagere FROM filial WHERE cdfilial = OLD.cdfilial);
    DELETE FROM movimento_regional_diario
     WHERE dtmovimento = OLD.dtmovimento AND cdareagere = (SELECT cdareagere FROM filial WHERE cdfilial = OLD.cdfilial)
       AND qtfiliais <= 0;
END;

-- An update that moves a row onto another day or branch may replace the row there (UPDATE OR REPLACE).
CREATE TRIGGER movimento_regional_diario_antes_alteracao BEFORE UPDATE OF cdfilial, dtmovimento ON movimento_diario
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
 AND (NEW.cdfilial IS NOT OLD.cdfilial OR NEW.dtmovimento IS NOT OLD.dtmovimento)
BEGIN
    DELETE FROM movimento_regional_diario_substituido WHERE cdfilial = NEW.cdfilial AND dtmovimento = NEW.dtmovimento;
    INSERT INTO movimento_regional_diario_substituido (cdfilial, dtmovimento, vrfatliq)
    SELECT cdfilial, dtmovimento, vrfatliq FROM movimento_diario WHERE cdfilial = NEW.cdfilial AND dtmovimento = NEW.dtmovimento;
END;

-- The old row out, the row it replaced (if it moved onto one) out, the new row in.
CREATE TRIGGER movimento_regional_diario_alteracao AFTER UPDATE ON movimento_diario
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
BEGIN
    UPDATE movimento_regional_diario SET qtfiliais = qtfiliais - 1, vrfatliq = vrfatliq - OLD.vrfatliq
     WHERE dtmovimento = OLD.dtmovimento AND cdareagere = (SELECT cdareagere FROM filial WHERE cdfilial = OLD.cdfilial);
    UPDATE movimento_regional_diario
       SET qtfiliais = movimento_regional_diario.qtfiliais - 1,
           vrfatliq = movimento_regional_diario.vrfatliq - s.vrfatliq
      FROM (SELECT vrfatliq FROM movimento_regional_diario_substituido
             WHERE cdfilial = NEW.cdfilial AND dtmovimento = NEW.dtmovimento) AS s
     WHERE (NEW.cdfilial IS NOT OLD.cdfilial OR NEW.dtmovimento IS NOT OLD.dtmovimento)
       AND movimento_regional_diario.dtmovimento = NEW.dtmovimento
       AND movimento_regional_diario.cdareagere = (SELECT cdareagere FROM filial WHERE cdfilial = NEW.cdfilial);
    DELETE FROM movimento_regional_diario_substituido WHERE cdfilial = NEW.cdfilial AND dtmovimento = NEW.dtmovimento;
    DELETE FROM movimento_regional_diario
     WHERE dtmovimento IN (OLD.dtmovimento, NEW.dtmovimento)
       AND cdareagere IN (SELECT cdareagere FROM filial WHERE cdfilial IN (OLD.cdfilial, NEW.cdfilial))
       AND qtfiliais <= 0;
    INSERT INTO movimento_regional_diario (dtmovimento, cdareagere, qtfiliais, vrfatliq)
    SELECT NEW.dtmovimento, cdareagere, 1, NEW.vrfatliq FROM filial WHERE cdfilial = NEW.cdfilial
    ON CONFLICT (dtmovimento, cdareagere) DO UPDATE
       SET qtfiliais = qtfiliais + 1, vrfatliq = vrfatliq + excluded.vrfatliq;
END;

-- A branch moved to another region takes its days along.
CREATE TRIGGER movimento_regional_diario_filial AFTER UPDATE OF cdfilial, cdareagere ON filial
WHEN OLD.cdareagere IS NOT NEW.cdareagere OR OLD.cdfilial IS NOT NEW.cdfilial
BEGIN
    UPDATE movimento_regional_diario
       SET qtfiliais = movimento_regional_diario.qtfiliais - 1,
           vrfatliq = movimento_regional_diario.vrfatliq - d.vrfatliq
      FROM (SELECT dtmovimento, vrfatliq FROM movimento_diario WHERE cdfilial = OLD.cdfilial) AS d
     WHERE movimento_regional_diario.dtmovimento = d.dtmovimento AND movimento_regional_diario.cdareagere = OLD.cdareagere;
    DELETE FROM movimento_regional_diario WHERE cdareagere = OLD.cdareagere AND qtfiliais <= 0;
    INSERT INTO movimento_regional_diario (dtmovimento, cdareagere, qtfiliais, vrfatliq)
    SELECT dtmovimento, NEW.cdareagere, 1, vrfatliq FROM movimento_diario WHERE cdfilial = NEW.cdfilial
    ON CONFLICT (dtmovimento, cdareagere) DO UPDATE
       SET qtfiliais = qtfiliais + 1, vrfatliq = vrfatliq + excluded.vrfatliq;
END;

-- The Top 10 and Bottom 10 of a month read the first rows of this index: each branch-month's result in per
-- cent of its revenue, worked out in the server's own arithmetic (revenue less consumption, labour and
-- expenses, times 100, over revenue), empty where the revenue is below half a cent and so has no share.
-- kpd-appserver's query names the same expression.
CREATE INDEX IF NOT EXISTS ix_movimento_mensal_resultado ON movimento_mensal
    (mes, (CASE WHEN qtdias > 0 AND vrfatliq >= 0.005
                THEN (vrfatliq - (vrconsumo + vrmdo + vrdespesas)) * 100.0 / vrfatliq END), cdfilial);

-- The month-end stock copied beside the month's sums (movimento_mensal.vrestoque), so that the branches
-- with the most days of stock are the first rows of an index too: every write of estoque_mensal sets
-- the copy of the branch-months it touched again (a new branch-month takes its copy when it is summed).
CREATE TRIGGER movimento_mensal_estoque_inclusao AFTER INSERT ON estoque_mensal
BEGIN
    UPDATE movimento_mensal SET vrestoque = NEW.vrestoque WHERE mes = NEW.mes AND cdfilial = NEW.cdfilial;
END;

CREATE TRIGGER movimento_mensal_estoque_alteracao AFTER UPDATE ON estoque_mensal
BEGIN
    UPDATE movimento_mensal
       SET vrestoque = (SELECT e.vrestoque FROM estoque_mensal e
                         WHERE e.mes = movimento_mensal.mes AND e.cdfilial = movimento_mensal.cdfilial)
     WHERE (mes = OLD.mes AND cdfilial = OLD.cdfilial) OR (mes = NEW.mes AND cdfilial = NEW.cdfilial);
END;

CREATE TRIGGER movimento_mensal_estoque_exclusao AFTER DELETE ON estoque_mensal
BEGIN
    UPDATE movimento_mensal
       SET vrestoque = (SELECT e.vrestoque FROM estoque_mensal e
                         WHERE e.mes = movimento_mensal.mes AND e.cdfilial = movimento_mensal.cdfilial)
     WHERE mes = OLD.mes AND cdfilial = OLD.cdfilial;
END;

-- The list of days of stock reads the first rows of this index: month-end stock times the month's days
-- over the month's consumption, in the server's own arithmetic; empty without stock or consumption.
CREATE INDEX IF NOT EXISTS ix_movimento_mensal_estoque ON movimento_mensal
    (mes, (CASE WHEN qtdias > 0 AND vrestoque IS NOT NULL AND vrconsumo > 0
                THEN vrestoque * (julianday(mes, '+1 month') - julianday(mes)) / vrconsumo END), cdfilial);
