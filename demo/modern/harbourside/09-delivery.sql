-- Harbourside: own-fleet deliveries (added 2010).

-- @object User Table | Vehicle | 2010-04-19 09:00:40
CREATE TABLE dbo.Vehicle (
    VehicleId     smallint IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Vehicle PRIMARY KEY,
    Registration  varchar(10)   NOT NULL CONSTRAINT UQ_Vehicle_Registration UNIQUE,
    WarehouseId   tinyint       NOT NULL CONSTRAINT FK_Vehicle_Warehouse REFERENCES dbo.Warehouse (WarehouseId),
    PayloadKg     int           NOT NULL CONSTRAINT CK_Vehicle_Payload CHECK (PayloadKg BETWEEN 500 AND 26000),
    MotDue        date          NULL,
    IsOffRoad     bit           NOT NULL CONSTRAINT DF_Vehicle_IsOffRoad DEFAULT (0)
);

-- @object Stored Procedure | usp_AddVehicle | 2010-04-19 09:30:40
CREATE PROCEDURE dbo.usp_AddVehicle
    @Registration varchar(10),
    @WarehouseId  tinyint,
    @PayloadKg    int,
    @MotDue       date,
    @VehicleId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Warehouse WHERE WarehouseId = @WarehouseId)
    BEGIN
        RAISERROR(N'Warehouse %d does not exist.', 16, 1, @WarehouseId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.Vehicle (Registration, WarehouseId, PayloadKg, MotDue)
            VALUES (@Registration, @WarehouseId, @PayloadKg, @MotDue);
            SET @VehicleId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object View | vw_Fleet | 2010-04-19 09:41:35
CREATE VIEW dbo.vw_Fleet
AS
SELECT v.VehicleId,
       w.Name AS WarehouseName,
       v.Registration,
       v.WarehouseId,
       v.PayloadKg,
       v.MotDue,
       v.IsOffRoad
  FROM dbo.Vehicle AS v
  JOIN dbo.Warehouse AS w ON w.WarehouseId = v.WarehouseId;

-- @object Stored Procedure | usp_FindVehicle | 2010-04-19 09:45:56
CREATE PROCEDURE dbo.usp_FindVehicle
    @WarehouseId tinyint = NULL,
    @RegistrationLike nvarchar(60) = NULL,
    @From date = NULL,
    @To   date = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SELECT v.VehicleId, v.Registration, v.WarehouseId, v.PayloadKg, v.MotDue, w.Name
      FROM dbo.Vehicle AS v
      JOIN dbo.Warehouse AS w ON w.WarehouseId = v.WarehouseId
     WHERE (@WarehouseId IS NULL OR v.WarehouseId = @WarehouseId)
       AND (@RegistrationLike IS NULL OR v.Registration LIKE @RegistrationLike + N'%')
       AND (@From IS NULL OR v.MotDue >= @From)
       AND (@To IS NULL OR v.MotDue < DATEADD(day, 1, @To))
     ORDER BY v.MotDue DESC;
END;

-- @object User Table | DeliveryRun | 2010-04-19 09:05:46
CREATE TABLE dbo.DeliveryRun (
    RunId        int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_DeliveryRun PRIMARY KEY,
    VehicleId    smallint     NOT NULL CONSTRAINT FK_DeliveryRun_Vehicle REFERENCES dbo.Vehicle (VehicleId),
    RunDate      date         NOT NULL,
    Driver       nvarchar(60) NOT NULL,
    LoadKg       int          NOT NULL CONSTRAINT DF_DeliveryRun_LoadKg DEFAULT (0),
    Status       varchar(10)  NOT NULL CONSTRAINT DF_DeliveryRun_Status DEFAULT ('PLANNED')
                     CONSTRAINT CK_DeliveryRun_Status CHECK (Status IN ('PLANNED', 'LOADED', 'OUT', 'BACK', 'ABANDONED')),
    CONSTRAINT UQ_DeliveryRun UNIQUE (VehicleId, RunDate)
);

-- @object Stored Procedure | usp_PlanDeliveryRun | 2010-04-19 09:30:53
CREATE PROCEDURE dbo.usp_PlanDeliveryRun
    @VehicleId smallint,
    @RunDate   date,
    @Driver    nvarchar(60),
    @RunId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Vehicle WHERE VehicleId = @VehicleId)
    BEGIN
        RAISERROR(N'Vehicle %d does not exist.', 16, 1, @VehicleId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.DeliveryRun (VehicleId, RunDate, Driver)
            VALUES (@VehicleId, @RunDate, @Driver);
            SET @RunId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object Stored Procedure | usp_LoadDeliveryRun | 2010-04-19 10:01:22
CREATE PROCEDURE dbo.usp_LoadDeliveryRun
    @RunId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.DeliveryRun
           SET Status = 'LOADED'
         WHERE RunId = @RunId AND Status IN ('PLANNED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Delivery run %d is not PLANNED; it cannot move to LOADED.', 16, 1, @RunId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_DispatchDeliveryRun | 2010-04-19 10:11:33
CREATE PROCEDURE dbo.usp_DispatchDeliveryRun
    @RunId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.DeliveryRun
           SET Status = 'OUT'
         WHERE RunId = @RunId AND Status IN ('LOADED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Delivery run %d is not LOADED; it cannot move to OUT.', 16, 1, @RunId);
            RETURN 1;
        END;
        -- the lines follow their delivery run
        UPDATE dbo.DeliveryDrop SET State = 'OUT' WHERE RunId = @RunId;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_CloseDeliveryRun | 2011-06-17 14:37:03
CREATE PROCEDURE dbo.usp_CloseDeliveryRun
    @RunId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.DeliveryRun
           SET Status = 'BACK'
         WHERE RunId = @RunId AND Status IN ('OUT');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Delivery run %d is not OUT; it cannot move to BACK.', 16, 1, @RunId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_AbandonDeliveryRun | 2011-12-11 13:50:28
CREATE PROCEDURE dbo.usp_AbandonDeliveryRun
    @RunId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.DeliveryRun
           SET Status = 'ABANDONED'
         WHERE RunId = @RunId AND Status IN ('PLANNED', 'LOADED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Delivery run %d is not PLANNED or LOADED; it cannot move to ABANDONED.', 16, 1, @RunId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_TodaysRuns | 2010-04-19 11:24:39
CREATE VIEW dbo.vw_TodaysRuns
AS
SELECT dr.RunId,
       v.Registration AS VehicleRegistration,
       dr.VehicleId,
       dr.RunDate,
       dr.Driver,
       dr.LoadKg,
       dr.Status
  FROM dbo.DeliveryRun AS dr
  JOIN dbo.Vehicle AS v ON v.VehicleId = dr.VehicleId
 WHERE dr.Status IN ('PLANNED', 'LOADED');

-- @object View | vw_VehicleUtilisation | 2010-04-19 11:36:51
CREATE VIEW dbo.vw_VehicleUtilisation
WITH SCHEMABINDING
AS
SELECT v.VehicleId, v.Registration,
       COUNT_BIG(*) AS DeliveryRuns,
       SUM(ISNULL(dr.LoadKg, 0)) AS TotalLoadKg,
       MIN(dr.RunDate) AS FirstRunDate, MAX(dr.RunDate) AS LastRunDate
  FROM dbo.DeliveryRun AS dr
  JOIN dbo.Vehicle AS v ON v.VehicleId = dr.VehicleId
 GROUP BY v.VehicleId, v.Registration;

-- @object Stored Procedure | usp_FleetLoadReport | 2011-08-07 15:47:01
CREATE PROCEDURE dbo.usp_FleetLoadReport
    @From date,
    @To   date
AS
BEGIN
    SET NOCOUNT ON;
    SELECT v.Registration,
           COUNT(*) AS DeliveryRuns,
           SUM(dr.LoadKg) AS TotalLoadKg,
           MAX(dr.LoadKg) AS LargestLoadKg,
           SUM(CASE WHEN dr.Status = 'ABANDONED' THEN 1 ELSE 0 END) AS Abandoned
      FROM dbo.DeliveryRun AS dr
      JOIN dbo.Vehicle AS v ON v.VehicleId = dr.VehicleId
     WHERE dr.RunDate >= @From AND dr.RunDate < DATEADD(day, 1, @To)
     GROUP BY v.Registration
     ORDER BY TotalLoadKg DESC;
END;

-- @object Stored Procedure | usp_PurgeDeliveryRuns | 2012-03-03 16:57:59
CREATE PROCEDURE dbo.usp_PurgeDeliveryRuns
    @KeepMonths int = 24,
    @BatchSize  int = 5000
AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @Cutoff date = DATEADD(month, -@KeepMonths, CONVERT(date, GETDATE()));
    DECLARE @Deleted int = 1, @Total int = 0;
    WHILE @Deleted > 0
    BEGIN
        BEGIN TRANSACTION;
            DELETE c FROM dbo.DeliveryDrop AS c
              JOIN dbo.DeliveryRun AS p ON p.RunId = c.RunId
             WHERE p.RunDate < @Cutoff AND p.Status IN ('ABANDONED', 'BACK');
            DELETE TOP (@BatchSize) FROM dbo.DeliveryRun
             WHERE RunDate < @Cutoff AND Status IN ('ABANDONED', 'BACK');
            SET @Deleted = @@ROWCOUNT;
        COMMIT TRANSACTION;
        SET @Total += @Deleted;
        CHECKPOINT;
    END;
    PRINT CONCAT(@Total, N' delivery run rows removed.');
END;

-- @object Trigger | tr_DeliveryRun_NoDelete | 2010-08-29 13:27:02
CREATE TRIGGER dbo.tr_DeliveryRun_NoDelete ON dbo.DeliveryRun
INSTEAD OF DELETE
AS
BEGIN
    SET NOCOUNT ON;
    IF EXISTS (SELECT 1 FROM deleted WHERE Status <> 'PLANNED')
    BEGIN
        RAISERROR(N'Only delivery run rows still at PLANNED can be deleted; the others are kept for the record.', 16, 1);
        RETURN;
    END;
    DELETE t FROM dbo.DeliveryRun AS t JOIN deleted AS d ON d.RunId = t.RunId;
END;

-- @object User Table | DeliveryDrop | 2010-04-19 09:09:21
CREATE TABLE dbo.DeliveryDrop (
    DropId       int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_DeliveryDrop PRIMARY KEY,
    RunId        int          NOT NULL CONSTRAINT FK_DeliveryDrop_Run REFERENCES dbo.DeliveryRun (RunId),
    ShipmentId   int          NOT NULL CONSTRAINT FK_DeliveryDrop_Shipment REFERENCES dbo.Shipment (ShipmentId),
    Sequence     tinyint      NOT NULL,
    WeightKg     int          NOT NULL,
    State        varchar(10)  NOT NULL CONSTRAINT DF_DeliveryDrop_State DEFAULT ('PLANNED'),
    SignedBy     nvarchar(60) NULL,
    CONSTRAINT UQ_DeliveryDrop_Sequence UNIQUE (RunId, Sequence)
);

-- @object Stored Procedure | usp_AddDrop | 2012-10-16 14:42:12
CREATE PROCEDURE dbo.usp_AddDrop
    @RunId      int,
    @ShipmentId int,
    @Sequence   tinyint,
    @WeightKg   int,
    @SignedBy   nvarchar(60),
    @DropId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.DeliveryRun WHERE RunId = @RunId)
    BEGIN
        RAISERROR(N'Delivery run %d does not exist.', 16, 1, @RunId);
        RETURN 1;
    END;
    BEGIN TRANSACTION;
        INSERT INTO dbo.DeliveryDrop (RunId, ShipmentId, Sequence, WeightKg, SignedBy)
        VALUES (@RunId, @ShipmentId, @Sequence, @WeightKg, @SignedBy);
        SET @DropId = SCOPE_IDENTITY();
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Trigger | tr_DeliveryDrop_Load | 2010-04-19 10:04:03
CREATE TRIGGER dbo.tr_DeliveryDrop_Load ON dbo.DeliveryDrop
AFTER INSERT, UPDATE, DELETE
AS
BEGIN
    SET NOCOUNT ON;
    -- keep the delivery run total in step with its lines
    UPDATE p SET LoadKg = ISNULL((SELECT SUM(x.WeightKg) FROM dbo.DeliveryDrop AS x WHERE x.RunId = p.RunId), 0)
      FROM dbo.DeliveryRun AS p
     WHERE p.RunId IN (SELECT RunId FROM inserted UNION SELECT RunId FROM deleted);
END;

-- @object User Defined Function | fn_DropsOnRun | 2013-03-18 12:26:21
CREATE FUNCTION dbo.fn_DropsOnRun (@RunId int)
RETURNS TABLE
AS
RETURN
    SELECT dd.DropId, dd.RunId, dd.ShipmentId, dd.Sequence, dd.WeightKg
      FROM dbo.DeliveryDrop AS dd
     WHERE dd.RunId = @RunId;

-- @object User Defined Function | fn_RunWeight | 2010-04-19 10:39:54
CREATE FUNCTION dbo.fn_RunWeight (@RunId int)
RETURNS int
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(WeightKg), 0) FROM dbo.DeliveryDrop WHERE RunId = @RunId);
END;

-- @object User Table | FuelPurchase | 2011-09-05 13:25:00
CREATE TABLE dbo.FuelPurchase (
    FuelId      int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_FuelPurchase PRIMARY KEY,
    VehicleId   smallint      NOT NULL CONSTRAINT FK_FuelPurchase_Vehicle REFERENCES dbo.Vehicle (VehicleId),
    BoughtOn    date          NOT NULL,
    Litres      decimal(7, 2) NOT NULL CONSTRAINT CK_FuelPurchase_Litres CHECK (Litres > 0),
    Cost        dbo.Money4    NOT NULL,
    Odometer    int           NOT NULL
);

-- @object Stored Procedure | usp_RecordFuel | 2011-09-05 13:43:43
CREATE PROCEDURE dbo.usp_RecordFuel
    @VehicleId smallint,
    @BoughtOn  date,
    @Litres    decimal(7, 2),
    @Cost      dbo.Money4,
    @Odometer  int,
    @FuelId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Vehicle WHERE VehicleId = @VehicleId)
    BEGIN
        RAISERROR(N'Vehicle %d does not exist.', 16, 1, @VehicleId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.FuelPurchase (VehicleId, BoughtOn, Litres, Cost, Odometer)
            VALUES (@VehicleId, @BoughtOn, @Litres, @Cost, @Odometer);
            SET @FuelId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object View | vw_FuelByVehicle | 2011-09-05 14:03:52
CREATE VIEW dbo.vw_FuelByVehicle
WITH SCHEMABINDING
AS
SELECT v.VehicleId, v.Registration,
       COUNT_BIG(*) AS FuelPurchases,
       SUM(ISNULL(fp.Cost, 0)) AS TotalCost,
       MIN(fp.BoughtOn) AS FirstBoughtOn, MAX(fp.BoughtOn) AS LastBoughtOn
  FROM dbo.FuelPurchase AS fp
  JOIN dbo.Vehicle AS v ON v.VehicleId = fp.VehicleId
 GROUP BY v.VehicleId, v.Registration;

-- @object View | vw_FuelByMonth | 2011-09-05 14:20:44
CREATE VIEW dbo.vw_FuelByMonth
AS
SELECT YEAR(fp.BoughtOn) AS [Year], MONTH(fp.BoughtOn) AS [Month],
       COUNT(*) AS FuelPurchases,
       SUM(fp.Cost) AS TotalCost,
       AVG(fp.Cost) AS AverageCost
  FROM dbo.FuelPurchase AS fp
 GROUP BY YEAR(fp.BoughtOn), MONTH(fp.BoughtOn);

-- @object User Defined Function | fn_WeeklyFuelSpend | 2014-08-22 15:44:43
CREATE FUNCTION dbo.fn_WeeklyFuelSpend (@From date, @To date)
RETURNS @Result TABLE (
    Week      date NOT NULL PRIMARY KEY,
    FuelPurchases int  NOT NULL,
    Total     dbo.Money4 NULL
)
AS
BEGIN
    DECLARE @Week date = DATEADD(day, 1 - DATEPART(weekday, @From), @From);
    WHILE @Week <= @To
    BEGIN
        INSERT INTO @Result (Week, FuelPurchases, Total)
        SELECT @Week, COUNT(*), SUM(fp.Cost)
          FROM dbo.FuelPurchase AS fp
         WHERE fp.BoughtOn >= @Week AND fp.BoughtOn < DATEADD(day, 7, @Week);
        SET @Week = DATEADD(day, 7, @Week);
    END;
    RETURN;
END;

-- @object Stored Procedure | usp_FuelCostReport | 2014-10-10 19:14:58
CREATE PROCEDURE dbo.usp_FuelCostReport
    @From date,
    @To   date
AS
BEGIN
    SET NOCOUNT ON;
    SELECT v.Registration,
           COUNT(*) AS FuelPurchases,
           SUM(fp.Cost) AS TotalCost,
           MAX(fp.Cost) AS LargestCost
      FROM dbo.FuelPurchase AS fp
      JOIN dbo.Vehicle AS v ON v.VehicleId = fp.VehicleId
     WHERE fp.BoughtOn >= @From AND fp.BoughtOn < DATEADD(day, 1, @To)
     GROUP BY v.Registration
     ORDER BY TotalCost DESC;
END;
